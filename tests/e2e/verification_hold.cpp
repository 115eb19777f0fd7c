// Linked into Ardenwick-Setup-held.exe only, never into the shipped program: the link wraps
// verifySignedArtifact (-Wl,--wrap), so that right after the file named by ARDENWICK_TEST_HOLD_FILE has
// passed the check, the attempt stops there until the test lets it go. The test then has all the time
// it needs to try to change the verified file from outside, without a race it hopes to win.
//   ARDENWICK_TEST_HOLD_TOKEN   names the events "Local\Ardenwick.VerificationHold.<token>.Held" (set
//                               here once the attempt is held), ".Release" and ".Abandon" (set by the test)
//   ARDENWICK_TEST_HOLD_FILE    the file name (any letter case) whose check is held; others pass through
#include "common/wide_path.h"

#include <windows.h>

#include <cwctype>
#include <stdexcept>
#include <string>

extern "C" void __real__ZN9ardenwick20verifySignedArtifactERKNS_8WidePathE(const ardenwick::WidePath& path);

namespace {

constexpr DWORD LongestHoldMs = 300000;

std::wstring environmentText(const wchar_t* name) {
    std::wstring value(32767, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

class Event {
public:
    Event(DWORD access, const std::wstring& name) : handle_(OpenEventW(access, FALSE, name.c_str())) {
        if (handle_ == nullptr) {
            // Going on unheld would turn the test into the race it exists to avoid.
            throw std::runtime_error("verification_hold");
        }
    }
    ~Event() { CloseHandle(handle_); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    [[nodiscard]] HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

void holdAfterCheck(const ardenwick::WidePath& path) {
    const std::wstring token = environmentText(L"ARDENWICK_TEST_HOLD_TOKEN");
    const std::wstring file = environmentText(L"ARDENWICK_TEST_HOLD_FILE");
    if (token.empty() || file.empty() || lowered(path.filename()) != lowered(file)) {
        return;
    }
    const std::wstring prefix = L"Local\\Ardenwick.VerificationHold." + token;
    const Event held(EVENT_MODIFY_STATE, prefix + L".Held");
    const Event release(SYNCHRONIZE, prefix + L".Release");
    const Event abandon(SYNCHRONIZE, prefix + L".Abandon");
    const HANDLE ends[] = {release.get(), abandon.get()};
    if (!SetEvent(held.get()) || WaitForMultipleObjects(2, ends, FALSE, LongestHoldMs) != WAIT_OBJECT_0) {
        throw std::runtime_error("verification_hold_abandoned");
    }
}

} // namespace

extern "C" void __wrap__ZN9ardenwick20verifySignedArtifactERKNS_8WidePathE(const ardenwick::WidePath& path) {
    __real__ZN9ardenwick20verifySignedArtifactERKNS_8WidePathE(path);
    holdAfterCheck(path);
}
