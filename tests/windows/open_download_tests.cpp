// "Download full installer" hands exactly the full-installer URL to the user's browser. This program is
// linked with --wrap=ShellExecuteW: the service's call lands in the recorder below instead of the shell,
// so no browser opens, on Windows or under Wine, and the call is seen as the shell would receive it.
#include "installation/online_installation_service.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ardenwick {
namespace {

struct ShellCall {
    std::optional<std::wstring> verb;
    std::optional<std::wstring> file;
    std::optional<std::wstring> parameters;
    std::optional<std::wstring> directory;
    bool hasOwner = false;
    INT show = 0;
};

std::optional<std::wstring> textOf(LPCWSTR text) {
    return text != nullptr ? std::optional<std::wstring>(text) : std::nullopt;
}

std::mutex shellCallsMutex;
std::vector<ShellCall> shellCalls;

std::vector<ShellCall> takeShellCalls() {
    const std::lock_guard lock(shellCallsMutex);
    return std::exchange(shellCalls, {});
}

} // namespace
} // namespace ardenwick

namespace ardenwick {
namespace {

HINSTANCE WINAPI recordShellExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                    LPCWSTR directory, INT show) {
    const std::lock_guard lock(shellCallsMutex);
    shellCalls.push_back(
        {textOf(verb), textOf(file), textOf(parameters), textOf(directory), owner != nullptr, show});
    // What the shell returns for a document it handed to its program (any value above 32).
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

} // namespace
} // namespace ardenwick

// The service calls ShellExecuteW through its import slot, __imp_ShellExecuteW; this program is linked
// with --wrap=__imp_ShellExecuteW, so the slot it reads is this one.
extern "C" {
extern decltype(&ShellExecuteW) __wrap___imp_ShellExecuteW;
decltype(&ShellExecuteW) __wrap___imp_ShellExecuteW = &ardenwick::recordShellExecute;
}

namespace ardenwick {
namespace {

TEST(OpenFullInstallerDownload, OpensExactlyTheFullInstallerUrl) {
    takeShellCalls();
    ServiceTuning tuning;
    OnlineInstallationService service(std::nullopt, tuning);
    service.openFullInstallerDownload();

    const std::vector<ShellCall> calls = takeShellCalls();
    ASSERT_EQ(calls.size(), 1u) << "one ShellExecuteW call, made before openFullInstallerDownload returns";
    const ShellCall& call = calls.front();
    const std::wstring expected = defaultFullInstallerUrl();
    EXPECT_EQ(call.verb, std::optional<std::wstring>(L"open"));
    EXPECT_EQ(call.file, std::optional<std::wstring>(expected));
    EXPECT_EQ(call.parameters, std::nullopt);
    EXPECT_EQ(call.directory, std::nullopt);
    EXPECT_FALSE(call.hasOwner);
    EXPECT_EQ(call.show, SW_SHOWNORMAL);
    EXPECT_TRUE(expected.ends_with(L"/windows-installer-prod-x64/Ardenwick-FullSetup.exe"));

    // A URL of the tuning's own goes out as it is.
    tuning.fullInstallerUrl = L"https://downloads.example/x/Full Setup.exe?a=1&b=2";
    OnlineInstallationService other(std::nullopt, tuning);
    other.openFullInstallerDownload();
    const std::vector<ShellCall> otherCalls = takeShellCalls();
    ASSERT_EQ(otherCalls.size(), 1u);
    EXPECT_EQ(otherCalls.front().file, std::optional<std::wstring>(tuning.fullInstallerUrl));
}

} // namespace
} // namespace ardenwick
