#include "common/installation_diagnostic_error.h"
#include "installation/installer_process.h"
#include "support/process_runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

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

} // namespace
} // namespace ardenwick
