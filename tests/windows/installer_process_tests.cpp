#include "common/installation_diagnostic_error.h"
#include "common/unique_handle.h"
#include "installation/installer_process.h"
#include "support/process_runner.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <optional>
#include <thread>

namespace ardenwick {
namespace {

std::filesystem::path helperProgram() {
    return testing::executableDirectory() / L"process_tree_helper.exe";
}

TEST(InstallerProcess, WaitsForEveryProcessInTheJobAndReturnsTheExitCode) {
    const auto marker = std::filesystem::temp_directory_path() / L"ardenwick-grandchild-marker.txt";
    std::filesystem::remove(marker);
    std::uint32_t startedPid = 0;
    const std::wstring commandLine = testing::quoteArgument(helperProgram().wstring()) + L" spawn " +
                                     testing::quoteArgument(marker.wstring()) + L" 1500";
    const std::uint32_t exitCode =
        runInstallerProcess(helperProgram(), commandLine, [&](std::uint32_t pid) { startedPid = pid; });
    EXPECT_EQ(exitCode, 7U);
    EXPECT_NE(startedPid, 0U);
    EXPECT_TRUE(std::filesystem::exists(marker)) << "returned before the grandchild ended";
    std::filesystem::remove(marker);
}

TEST(InstallerProcess, ExitCodeIsPassedThroughAndOnStartedErrorsAreSwallowed) {
    const std::wstring commandLine = testing::quoteArgument(helperProgram().wstring()) + L" exit 3221225477";
    EXPECT_EQ(runInstallerProcess(helperProgram(), commandLine,
                                  [](std::uint32_t) { throw std::runtime_error("recording failed"); }),
              3221225477U);
    EXPECT_EQ(runInstallerProcess(helperProgram(),
                                  testing::quoteArgument(helperProgram().wstring()) + L" exit 0", {}),
              0U);
}

// An installer that crashes ends, and the wait with it: it never waits behind a crash dialog that nobody
// closes. Under Wine that is the test prefix's own setting, which this checks: the error mode would hide
// the dialog by itself, so it is set on Windows only, where the report otherwise follows the PC's settings.
TEST(InstallerProcess, AnInstallerThatCrashesEndsTheWaitWithAFailureCode) {
    const auto crashing = testing::executableDirectory() / L"crash_helper.exe";
    const UINT errorMode = GetErrorMode();
    if (!testing::runningUnderWine()) {
        SetErrorMode(errorMode | SEM_NOGPFAULTERRORBOX); // the child inherits it
    }
    const std::optional<std::uint32_t> crashed = testing::runAndWait(crashing, L"", 30000);
    ASSERT_TRUE(crashed) << "the crashed program was still running after 30 s";
    EXPECT_NE(*crashed, 0U);
    EXPECT_EQ(runInstallerProcess(crashing, testing::quoteArgument(crashing.wstring()), {}), *crashed);
    SetErrorMode(errorMode);
}

TEST(InstallerProcess, MissingInstallerIsInstallerProcessCreateWithItsWin32Error) {
    const auto missing = std::filesystem::temp_directory_path() / L"ardenwick-no-such-installer.exe";
    try {
        (void)runInstallerProcess(missing, L"\"" + missing.wstring() + L"\" /S", {});
        FAIL() << "no error";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_STREQ(error.what(), "installer_process_create");
        ASSERT_TRUE(error.win32Error);
        EXPECT_EQ(*error.win32Error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_FALSE(error.httpStatus);
    }
}

/// The error a start failed with, or 0 when it ran.
DWORD startError(const std::filesystem::path& image, InstallerStartRetry& retry) {
    try {
        (void)runInstallerProcess(image, testing::quoteArgument(image.wstring()) + L" exit 0", {}, retry);
        return 0;
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_STREQ(error.what(), "installer_process_create");
        return error.win32Error.value_or(0xFFFFFFFFu);
    }
}

// A scanner holding the new image (here with write access: Wine refuses the start with a sharing
// violation, as Windows does) makes the start fail for a moment: it is tried again until the limit or a
// stop, and goes through once the scanner lets go. Access denied, which a scanner gives on Windows and
// nothing here can, is passing for the start too.
TEST(InstallerProcess, AStartRefusedWhileAScannerHoldsTheImageIsTriedAgain) {
    EXPECT_TRUE(isTransientError(AccessDeniedError, InstallerStartErrors));
    EXPECT_TRUE(isTransientError(SharingViolationError, InstallerStartErrors));

    const auto image = std::filesystem::temp_directory_path() / L"ardenwick-held-installer.exe";
    std::filesystem::copy_file(helperProgram(), image, std::filesystem::copy_options::overwrite_existing);
    UniqueFileHandle scanner(CreateFileW(image.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(scanner);

    // Held to the limit: the error of the last try, after retries.
    InstallerStartRetry limited{
        {std::chrono::milliseconds(1), std::chrono::milliseconds(5), std::chrono::milliseconds(200)}, {}};
    EXPECT_EQ(startError(image, limited), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_GE(limited.retries, 1u);

    // A stop ends the retries: one try, no retry, although the limit is far.
    std::stop_source stop;
    stop.request_stop();
    InstallerStartRetry stopped{
        {std::chrono::milliseconds(1), std::chrono::milliseconds(5), std::chrono::milliseconds(3000)},
        stop.get_token()};
    EXPECT_EQ(startError(image, stopped), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(stopped.retries, 0u) << "tried again after the stop";

    // Let go while the start is tried again: it runs.
    InstallerStartRetry waited{
        {std::chrono::milliseconds(10), std::chrono::milliseconds(50), std::chrono::milliseconds(60000)}, {}};
    std::jthread scannerLetsGo([&] {
        Sleep(500);
        scanner.reset();
    });
    EXPECT_EQ(startError(image, waited), 0u);
    scannerLetsGo.join();
    std::filesystem::remove(image);
}

} // namespace
} // namespace ardenwick
