#include "support/verification_hold.h"

namespace ardenwick::testing {
namespace {

std::wstring holdToken() {
    return std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(GetTickCount64());
}

HANDLE manualResetEvent(const std::wstring& name) {
    return CreateEventW(nullptr, TRUE, FALSE, name.c_str());
}

} // namespace

VerificationHold::VerificationHold(const std::wstring& fileName) {
    const std::wstring token = holdToken();
    const std::wstring prefix = L"Local\\Ardenwick.VerificationHold." + token;
    held_.reset(manualResetEvent(prefix + L".Held"));
    release_.reset(manualResetEvent(prefix + L".Release"));
    abandon_.reset(manualResetEvent(prefix + L".Abandon"));
    SetEnvironmentVariableW(L"ARDENWICK_TEST_HOLD_TOKEN", token.c_str());
    SetEnvironmentVariableW(L"ARDENWICK_TEST_HOLD_FILE", fileName.c_str());
}

VerificationHold::~VerificationHold() {
    SetEnvironmentVariableW(L"ARDENWICK_TEST_HOLD_TOKEN", nullptr);
    SetEnvironmentVariableW(L"ARDENWICK_TEST_HOLD_FILE", nullptr);
    if (WaitForSingleObject(release_.get(), 0) != WAIT_OBJECT_0) {
        SetEvent(abandon_.get());
    }
}

bool VerificationHold::held(DWORD timeoutMs) const {
    return held_ && WaitForSingleObject(held_.get(), timeoutMs) == WAIT_OBJECT_0;
}

void VerificationHold::release() {
    SetEvent(release_.get());
}

ChangeAttempts tryToChange(const std::filesystem::path& file) {
    ChangeAttempts attempts;
    HANDLE writer =
        CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    attempts.write = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (writer != INVALID_HANDLE_VALUE) {
        const UniqueFileHandle owner(writer);
        const char tampered[] = "tampered";
        DWORD written = 0;
        SetFilePointer(owner.get(), 0, nullptr, FILE_END);
        WriteFile(owner.get(), tampered, sizeof(tampered), &written, nullptr);
    }
    const std::filesystem::path moved = file.wstring() + L".moved";
    const BOOL renamed = MoveFileW(file.c_str(), moved.c_str());
    attempts.rename = renamed ? 0 : GetLastError();
    if (renamed) {
        MoveFileW(moved.c_str(), file.c_str());
    }
    attempts.remove = DeleteFileW(file.c_str()) ? 0 : GetLastError();
    return attempts;
}

} // namespace ardenwick::testing
