#include "common/installation_diagnostic_error.h"
#include "common/user_state.h"
#include "installation/identifier.h"
#include "installation/install_location.h"
#include "installation/native_machine.h"
#include "installation/online_installation_service.h"
#include "installation/processor_architecture.h"
#include "installation/state_directory.h"
#include "support/registry_value.h"
#include "support/test_profile.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <filesystem>
#include <functional>
#include <set>

namespace ardenwick {
namespace {

using testing::ScopedRegistryValue;

TEST(InstallLocation, OnlyAnAbsoluteRegSzValueGivesTheLauncherPath) {
    ScopedRegistryValue value(testing::productKey(InstallRegistryKey), InstallLocationValue);

    value.remove();
    EXPECT_TRUE(readInstallLocation().empty()) << "missing";

    value.setString(L"C:\\Users\\Ana\\AppData\\Local\\Ardenwick");
    EXPECT_EQ(readInstallLocation().wstring(), L"C:\\Users\\Ana\\AppData\\Local\\Ardenwick\\Ardenwick.exe");

    value.setString(L"C:\\Users\\Ana\\AppData\\Local\\Ardenwick\\");
    EXPECT_EQ(readInstallLocation().wstring(), L"C:\\Users\\Ana\\AppData\\Local\\Ardenwick\\Ardenwick.exe")
        << "a trailing backslash must not double the separator";

    value.setString(L"\\\\server\\share\\Ardenwick");
    EXPECT_EQ(readInstallLocation().wstring(), L"\\\\server\\share\\Ardenwick\\Ardenwick.exe");

    value.setString(L"C:\\Ardenwick", REG_EXPAND_SZ);
    EXPECT_TRUE(readInstallLocation().empty()) << "REG_EXPAND_SZ counts as missing";

    value.setString(L"%LOCALAPPDATA%\\Ardenwick", REG_EXPAND_SZ);
    EXPECT_TRUE(readInstallLocation().empty())
        << "REG_EXPAND_SZ counts as missing, even when it would expand";

    value.setString(L"Programs\\Ardenwick");
    EXPECT_TRUE(readInstallLocation().empty()) << "relative";

    value.setString(L"C:Programs\\Ardenwick");
    EXPECT_TRUE(readInstallLocation().empty()) << "drive-relative";

    value.setString(L"\\Programs\\Ardenwick");
    EXPECT_TRUE(readInstallLocation().empty()) << "rooted without a drive";

    value.setRaw(REG_DWORD, {1, 0, 0, 0});
    EXPECT_TRUE(readInstallLocation().empty()) << "REG_DWORD";

    value.setString(L"C:\\" + std::wstring(40000, L'a'));
    EXPECT_TRUE(readInstallLocation().empty()) << "longer than the 65536-byte buffer";
}

bool isIdentifierText(const std::string& text) {
    if (text.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

TEST(NativeMachine, AnX64SystemIsSupported) {
    // Wine on x86-64 Linux has IsWow64Process2 and answers as 64-bit Windows on an x64 processor does.
    ASSERT_NE(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2"), nullptr);
    EXPECT_EQ(nativeMachine(), MachineAmd64);
    EXPECT_TRUE(isSupportedNativeMachine(nativeMachine()));
}

TEST(Identifier, UpperCaseGuidTextWithoutBracesAndFreshEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string identifier = newIdentifier();
        EXPECT_TRUE(isIdentifierText(identifier)) << identifier;
        seen.insert(identifier);
    }
    EXPECT_EQ(seen.size(), 100U);
}

TEST(InstallationLayout, NormalModeUsesLocalAppDataAndANewFlowIdPerRun) {
    ScopedRegistryValue value(testing::productKey(InstallRegistryKey), InstallLocationValue);
    value.setString(L"D:\\Apps\\Ardenwick\\");

    // Without a failure record left by an earlier run, construction starts at Preparing.
    std::filesystem::remove(OnlineInstallationService(std::nullopt).stateDirectory() / L"last-failure.json");
    OnlineInstallationService first(std::nullopt);
    OnlineInstallationService second(std::nullopt);

    EXPECT_FALSE(first.isMaintenance());
    EXPECT_EQ(first.stateDirectory().filename(), L"Installation");
    EXPECT_EQ(first.stateDirectory().parent_path().filename(), L"Ardenwick");
    EXPECT_TRUE(std::filesystem::path(first.stateDirectory()).is_absolute());
    EXPECT_TRUE(std::filesystem::exists(first.stateDirectory().parent_path().parent_path()));
    EXPECT_EQ(first.applicationPath().wstring(), L"D:\\Apps\\Ardenwick\\Ardenwick.exe");
    EXPECT_TRUE(isIdentifierText(first.installFlowId()));
    EXPECT_NE(first.installFlowId(), second.installFlowId());
    EXPECT_EQ(first.currentStatus(), InstallationStatus{});
}

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

// A test build keeps the user's state under the profile in force, a second profile sees nothing of the
// first, and without a profile there is no state at all: never the user's real LocalAppData or keys.
TEST(InstallationLayout, ATestBuildKeepsTheUserStateUnderItsProfileAndHasNoneWithoutOne) {
    ASSERT_TRUE(isTestStateBuild());
    {
        const testing::TestProfile profile(L"layout");
        ScopedRegistryValue value(testing::productKey(InstallRegistryKey), InstallLocationValue);
        value.setString(L"D:\\Profile\\Ardenwick");
        EXPECT_EQ(testing::productKey(InstallRegistryKey).rfind(L"Software\\ArdenwickTestState\\", 0), 0U);
        EXPECT_EQ(normalStateDirectory().wstring(),
                  (profile.localAppData() / L"Ardenwick" / L"Installation").wstring());
        EXPECT_EQ(OnlineInstallationService(std::nullopt).stateDirectory().wstring(),
                  normalStateDirectory().wstring());
        EXPECT_EQ(readInstallLocation().wstring(), L"D:\\Profile\\Ardenwick\\Ardenwick.exe");
        {
            const testing::TestProfile other(L"layout");
            EXPECT_TRUE(readInstallLocation().empty());
            EXPECT_EQ(normalStateDirectory().wstring(),
                      (other.localAppData() / L"Ardenwick" / L"Installation").wstring());
        }
        EXPECT_EQ(readInstallLocation().wstring(), L"D:\\Profile\\Ardenwick\\Ardenwick.exe");
    }
    const std::wstring programProfile = testing::productLocalAppData().wstring();
    SetEnvironmentVariableW(TestProfileVariable, nullptr);
    EXPECT_EQ(failureOf([] { (void)normalStateDirectory(); }), "local_data_unavailable");
    EXPECT_EQ(failureOf([] { OnlineInstallationService service(std::nullopt); }), "local_data_unavailable");
    EXPECT_TRUE(readInstallLocation().empty());
    EXPECT_FALSE(userRegistryKey(InstallRegistryKey));
    EXPECT_FALSE(userStateMutexName(L"Local\\Ardenwick.AnalyticsIdentity"));
    const std::filesystem::path root = std::filesystem::path(programProfile).parent_path().parent_path();
    SetEnvironmentVariableW(TestProfileVariable, root.c_str());
    EXPECT_EQ(testing::productLocalAppData().wstring(), programProfile);
}

TEST(InstallationLayout, MaintenanceModeLivesUnderTheInstallationRoot) {
    ScopedRegistryValue value(testing::productKey(InstallRegistryKey), InstallLocationValue);
    value.setString(L"D:\\Elsewhere");

    MaintenanceRequest request{L"C:\\Apps\\Ardenwick", L"C:\\Apps\\Ardenwick\\setup.exe", 10, 20,
                               L"Local\\Ardenwick.MaintenanceUi.7"};
    OnlineInstallationService service(request);

    EXPECT_TRUE(service.isMaintenance());
    EXPECT_EQ(service.stateDirectory().wstring(), L"C:\\Apps\\Ardenwick\\state\\maintenance-ui");
    EXPECT_EQ(service.applicationPath().wstring(), L"C:\\Apps\\Ardenwick\\Ardenwick.exe")
        << "maintenance never reads InstallLocation";
    EXPECT_TRUE(service.installFlowId().empty());
    ASSERT_TRUE(service.maintenanceRequest());
    EXPECT_EQ(service.maintenanceRequest()->launcherProcessId, 20U);
    EXPECT_EQ(service.currentStatus().kind, InstallationKind::Preparing);
    EXPECT_FALSE(service.markWindowReady());
    EXPECT_TRUE(service.markWindowReady());
}

} // namespace
} // namespace ardenwick
