#include "common/file_system.h"
#include "common/file_system_error.h"
#include "common/wide_path.h"

#include "telemetry_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ardenwick {
namespace {

TEST(WidePath, JoinsWithOneSeparatorAndSplitsAtEither) {
    const std::wstring s(1, WidePath::Separator);
    EXPECT_EQ((WidePath(L"root") / L"state" / L"file.json").native(),
              L"root" + s + L"state" + s + L"file.json");
    EXPECT_EQ((WidePath(L"root/") / L"x").native(), L"root/x");
    EXPECT_EQ((WidePath(L"root\\") / L"x").native(), L"root\\x");
    EXPECT_EQ((WidePath() / L"x").native(), L"x");

    EXPECT_EQ(WidePath(L"a/b\\c.exe").parent_path().native(), L"a/b");
    EXPECT_EQ(WidePath(L"a/b\\c.exe").filename(), L"c.exe");
    EXPECT_EQ(WidePath(L"a/b//c").parent_path().native(), L"a/b");
    EXPECT_EQ(WidePath(L"a/b/").parent_path().native(), L"a/b");
    EXPECT_EQ(WidePath(L"a/b/").filename(), L"");
    EXPECT_EQ(WidePath(L"name").parent_path().native(), L"");
    EXPECT_EQ(WidePath(L"/x").parent_path().native(), L"/");
    EXPECT_EQ(WidePath(L"C:\\x").parent_path().native(), L"C:\\");
    EXPECT_EQ(WidePath(L"C:\\").parent_path().native(), L"C:\\");
    EXPECT_EQ(WidePath(L"C:x").parent_path().native(), L"C:");
    EXPECT_EQ(WidePath(L"C:x").filename(), L"x");
    EXPECT_EQ(WidePath(L"\\\\server\\share\\file").parent_path().native(), L"\\\\server\\share");

    // The standard path type of tests and tools converts both ways.
    const std::filesystem::path standard = std::filesystem::path(L"dir") / L"file";
    const WidePath ours = standard;
    EXPECT_EQ(ours, standard);
    EXPECT_EQ(std::filesystem::path(ours), standard);
}

TEST(PortableFileSystem, CreatesEveryLevelAndReadsWithABound) {
    testing::TemporaryDirectory directory;
    const WidePath nested = WidePath(directory.path()) / L"a" / L"b" / L"c";
    createDirectories(nested);
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(nested)));
    createDirectories(nested);

    const WidePath file = nested / L"data";
    std::ofstream(std::filesystem::path(file), std::ios::binary) << std::string(100, 'x');
    const FileBytes atBound = readFileBounded(file, 100);
    EXPECT_TRUE(atBound.ok());
    EXPECT_EQ(atBound.bytes, std::string(100, 'x'));
    const FileBytes above = readFileBounded(file, 99);
    EXPECT_TRUE(above.tooLarge);
    EXPECT_FALSE(above.ok());
    EXPECT_TRUE(above.bytes.empty());
    const FileBytes missing = readFileBounded(nested / L"missing", 100);
    EXPECT_NE(missing.error, 0u);
    EXPECT_FALSE(missing.ok());

    try {
        createDirectories(file / L"sub");
        ADD_FAILURE() << "created a folder below a file";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.operation(), "create_directories");
        EXPECT_EQ(error.path(), file / L"sub");
        EXPECT_NE(error.code().value(), 0);
    }
}

} // namespace
} // namespace ardenwick
