// The clean-up of attempt folders left by dead runs, on real folders, with a live attempt's folder held
// by another process.
#include "installation/dead_attempt_folders.h"
#include "support/process_runner.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

namespace ardenwick {
namespace {

using testing::fileText;
using testing::writeFile;

TEST(DeadAttemptFolders, RemovesOnlyAttemptFoldersThatNoAttemptHolds) {
    const auto state = std::filesystem::temp_directory_path() /
                       (L"ardenwick-attempt-folders-" + std::to_wstring(GetCurrentProcessId()));
    ASSERT_FALSE(testing::removeTreeWhenFree(state));
    const auto dead = state / L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF012345";
    const auto live = state / L"5D2C8B10-3E4F-4A6B-8C7D-0123456789AB";
    writeFile(dead / L"setup.partial", std::string(300000, 'p'));
    writeFile(dead / L"nested" / L"deeper" / L"result.ini", "[installation]");
    writeFile(live / L"setup.partial", "live");
    writeFile(state / L"last-failure.json", "{\"schemaVersion\":1}");
    writeFile(state / L"7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9.ini", "[installation]");
    writeFile(state / L"7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F0", "a file named like an attempt");
    writeFile(state / L"7a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9" / L"keep", "lower case");
    writeFile(state / L"Other" / L"keep", "unknown folder");

    // Another process holds the live folder as an attempt holds its own: it shares read and write only.
    const std::wstring eventName = L"Local\\ArdenwickTest.AttemptFolderHeld";
    UniqueKernelHandle held(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    testing::StartedProcess holder =
        testing::startProgram(testing::executableDirectory() / L"scanner_stand_in.exe",
                              L"folder " + testing::quoteArgument(live.wstring()) + L" " + eventName);
    ASSERT_TRUE(holder.process);
    ASSERT_EQ(WaitForSingleObject(held.get(), 30000), WAIT_OBJECT_0);

    removeDeadAttemptFolders(state);

    TerminateProcess(holder.process.get(), 9);
    WaitForSingleObject(holder.process.get(), 10000);
    EXPECT_FALSE(std::filesystem::exists(dead));
    EXPECT_EQ(fileText(live / L"setup.partial"), "live") << "nothing in a live attempt's folder is touched";
    EXPECT_EQ(fileText(state / L"last-failure.json"), "{\"schemaVersion\":1}");
    EXPECT_EQ(fileText(state / L"7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9.ini"), "[installation]");
    EXPECT_EQ(fileText(state / L"7A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F0"), "a file named like an attempt");
    EXPECT_EQ(fileText(state / L"7a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9" / L"keep"), "lower case");
    EXPECT_EQ(fileText(state / L"Other" / L"keep"), "unknown folder");

    // A state directory that is not there is no error.
    removeDeadAttemptFolders(state / L"missing");
    EXPECT_FALSE(testing::removeTreeWhenFree(state));
}

} // namespace
} // namespace ardenwick
