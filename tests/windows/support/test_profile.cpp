#include "support/test_profile.h"

#include "common/user_state.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <system_error>

namespace ardenwick::testing {
namespace {

std::optional<std::wstring> environmentValue(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), 32768);
    if (length == 0 || length >= 32768) {
        return std::nullopt;
    }
    value.resize(length);
    return value;
}

/// Programs of the product may still be closing their files when a profile ends.
void removeFolder(const std::filesystem::path& folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        if (!error && !std::filesystem::exists(folder, error)) {
            return;
        }
        Sleep(100);
    }
    ADD_FAILURE() << "the test profile " << folder.string() << " could not be removed";
}

std::wstring required(std::optional<std::wstring> value) {
    if (!value) {
        throw std::runtime_error(
            "no test profile: this build keeps no user state without ARDENWICK_TEST_PROFILE");
    }
    return *value;
}

/// The test program's own profile for its whole run, so no test of it reaches the real user state and
/// test programs running side by side never share one.
class ProgramProfile : public ::testing::Environment {
public:
    void SetUp() override {
        // A build without it would run every test against the real LocalAppData and HKCU keys.
        if (!isTestStateBuild()) {
            GTEST_FAIL()
                << "this build keeps the user's real state: configure it with -DARDENWICK_TEST_STATE=ON "
                   "(scripts/test does)";
        }
        wchar_t path[MAX_PATH]{};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        profile_.emplace(std::filesystem::path(path).stem().wstring());
    }
    void TearDown() override { profile_.reset(); }

private:
    std::optional<TestProfile> profile_;
};

[[maybe_unused]] ::testing::Environment* const programProfile =
    ::testing::AddGlobalTestEnvironment(new ProgramProfile);

} // namespace

std::filesystem::path TestProfile::profilesFolder() {
    if (const auto configured = environmentValue(L"ARDENWICK_TEST_PROFILES")) {
        return *configured;
    }
    return std::filesystem::temp_directory_path() / L"ardenwick-test-profiles";
}

TestProfile::TestProfile(std::wstring_view name) : previous_(environmentValue(TestProfileVariable)) {
    static std::atomic<unsigned> made{0};
    // One spelling, backslashes only: the programs compare paths built from it with the loader's.
    root_ = (profilesFolder() / (std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(++made)))
                .make_preferred();
    removeFolder(root_);
    std::filesystem::create_directories(localAppData());
    SetEnvironmentVariableW(TestProfileVariable, root_.c_str());
}

TestProfile::~TestProfile() {
    const std::wstring key = std::wstring(TestStateRegistryRoot) + L"\\" + testProfileTag(root_.wstring());
    const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        ADD_FAILURE() << "the test profile's registry key could not be removed: " << status;
    }
    // The parent goes when the last profile's key has gone (RegDeleteKeyW refuses a key with subkeys).
    RegDeleteKeyW(HKEY_CURRENT_USER, TestStateRegistryRoot);
    SetEnvironmentVariableW(TestProfileVariable, previous_ ? previous_->c_str() : nullptr);
    removeFolder(root_);
    std::error_code error;
    std::filesystem::remove(profilesFolder(), error);
}

std::wstring productKey(std::wstring_view key) {
    return required(userRegistryKey(key));
}

std::wstring productMutex(std::wstring_view name) {
    return required(userStateMutexName(name));
}

std::filesystem::path productLocalAppData() {
    return required(localAppDataFolder());
}

} // namespace ardenwick::testing
