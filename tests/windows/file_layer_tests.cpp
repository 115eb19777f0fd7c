#include "common/file_system_error.h"
#include "common/win32_file.h"

#include "release_server_fixture.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ardenwick {
namespace {

using testing::TemporaryDirectory;

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string bytesOf(const std::filesystem::path& path) {
    return testing::readFileBytes(path);
}

/// A handle that others may read through but not delete or replace.
UniqueFileHandle holdOpen(const std::filesystem::path& path) {
    return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST(WidePathOnWindows, JoinsAndSplitsLikeTheStandardPath) {
    const WidePath root(L"C:\\Apps\\Ardenwick");
    EXPECT_EQ((root / L"state" / L"activation.json").native(),
              L"C:\\Apps\\Ardenwick\\state\\activation.json");
    EXPECT_EQ((WidePath(L"C:\\Apps\\") / L"x").native(), L"C:\\Apps\\x");
    for (const wchar_t* text :
         {L"C:\\Apps\\Ardenwick\\Ardenwick.exe", L"C:\\Apps\\", L"C:\\", L"C:\\x", L"C:x",
          L"\\\\server\\share\\dir\\file", L"relative\\name", L"name", L"C:/a/b"}) {
        const std::filesystem::path standard(text);
        const WidePath ours(text);
        EXPECT_EQ(ours.parent_path().native(), standard.parent_path().wstring()) << text;
        EXPECT_EQ(ours.filename(), standard.filename().wstring()) << text;
    }
}

TEST(FileLayer, AtomicReplaceWritesTheNewContentAndLeavesNoTemporaryFile) {
    TemporaryDirectory directory;
    const auto target = directory.path() / L"state.json";
    ASSERT_EQ(replaceFileAtomically(target, "first"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(bytesOf(target), "first");
    ASSERT_EQ(replaceFileAtomically(target, "second, longer"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(bytesOf(target), "second, longer");
    EXPECT_FALSE(std::filesystem::exists(directory.path() / L"state.json.new"));
    EXPECT_EQ(replacementPathOf(target).native(), (directory.path() / L"state.json.new").wstring());
}

TEST(FileLayer, FailedAtomicReplaceKeepsTheOldContent) {
    TemporaryDirectory directory;
    const auto target = directory.path() / L"state.json";
    writeBytes(target, "old");
    {
        // The move cannot replace a file that a reader holds open.
        const UniqueFileHandle reader = holdOpen(target);
        ASSERT_TRUE(reader);
        EXPECT_NE(replaceFileAtomically(target, "new"), static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(bytesOf(target), "old");
    EXPECT_FALSE(std::filesystem::exists(directory.path() / L"state.json.new"));

    // The temporary file cannot be written: nothing is moved.
    std::filesystem::create_directories(directory.path() / L"state.json.new");
    EXPECT_NE(replaceFileAtomically(target, "new"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(bytesOf(target), "old");

    // A folder that does not exist.
    EXPECT_EQ(replaceFileAtomically(directory.path() / L"missing" / L"x", "new"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(FileLayer, WriteWholeFileCreatesOrTruncates) {
    TemporaryDirectory directory;
    const auto file = directory.path() / L"context.json";
    ASSERT_EQ(writeWholeFile(file, "a longer first text"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(writeWholeFile(file, "short"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(bytesOf(file), "short");
    EXPECT_EQ(writeWholeFile(directory.path() / L"missing" / L"x", "x"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(FileLayer, BoundedReadRefusesAFileAboveTheBound) {
    TemporaryDirectory directory;
    const auto file = directory.path() / L"record";
    writeBytes(file, std::string(4096, 'x'));
    const FileBytes atBound = readFileBounded(file, 4096);
    EXPECT_TRUE(atBound.ok());
    EXPECT_EQ(atBound.bytes, std::string(4096, 'x'));

    writeBytes(file, std::string(4097, 'x'));
    const FileBytes above = readFileBounded(file, 4096);
    EXPECT_FALSE(above.ok());
    EXPECT_TRUE(above.tooLarge);
    EXPECT_EQ(above.error, 0u);
    EXPECT_TRUE(above.bytes.empty());

    writeBytes(file, "");
    const FileBytes empty = readFileBounded(file, 4096);
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.bytes.empty());
}

TEST(FileLayer, BoundedReadReportsOpenAndReadErrors) {
    TemporaryDirectory directory;
    const FileBytes missing = readFileBounded(directory.path() / L"missing", 4096);
    EXPECT_EQ(missing.error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(readFileBounded(directory.path(), 4096).error, 0u) << "a folder is not a file";
    // A file that opens but whose reads fail (Linux answers EIO at offset 0 of a process's memory,
    // seen through Wine's Z: drive): the failure is reported, not taken for an empty file.
    if (testing::runningUnderWine()) {
        const FileBytes failed = readFileBounded(L"Z:\\proc\\self\\mem", 4096);
        EXPECT_NE(failed.error, 0u);
        EXPECT_FALSE(failed.ok());
    }
}

TEST(FileLayer, CreateDirectoriesMakesEveryLevelAndAcceptsExistingOnes) {
    TemporaryDirectory directory;
    const auto nested = directory.path() / L"a" / L"b" / L"c";
    createDirectories(nested);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    createDirectories(nested);
    EXPECT_EQ(tryCreateDirectories(directory.path() / L"a" / L"b\\"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(tryCreateDirectories(L"C:\\"), static_cast<DWORD>(ERROR_SUCCESS));

    // A file where a folder should be.
    writeBytes(directory.path() / L"blocker", "x");
    try {
        createDirectories(directory.path() / L"blocker" / L"sub");
        ADD_FAILURE() << "created a folder below a file";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.operation(), "create_directories");
        EXPECT_NE(std::string(error.what()).find("create_directories"), std::string::npos);
        EXPECT_EQ(error.code().category(), std::system_category());
        EXPECT_NE(error.code().value(), 0);
        EXPECT_EQ(error.path(), directory.path() / L"blocker" / L"sub");
    }
    EXPECT_NE(tryCreateDirectories(directory.path() / L"blocker"), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(FileLayer, RemoveTreeRemovesNestedContentAndReportsWhatBlocksIt) {
    TemporaryDirectory directory;
    const auto tree = directory.path() / L"attempt";
    std::filesystem::create_directories(tree / L"sub" / L"deeper");
    writeBytes(tree / L"setup.exe", "x");
    writeBytes(tree / L"sub" / L"deeper" / L"file", "y");
    EXPECT_EQ(removeTree(tree), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(std::filesystem::exists(tree));
    EXPECT_EQ(removeTree(tree), static_cast<DWORD>(ERROR_SUCCESS)) << "nothing there";

    std::filesystem::create_directories(tree / L"sub");
    writeBytes(tree / L"sub" / L"locked", "x");
    writeBytes(tree / L"other", "y");
    {
        const UniqueFileHandle reader = holdOpen(tree / L"sub" / L"locked");
        ASSERT_TRUE(reader);
        EXPECT_EQ(removeTree(tree), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(std::filesystem::exists(tree / L"sub" / L"locked"));
        EXPECT_FALSE(std::filesystem::exists(tree / L"other")) << "what can go goes";
    }
    EXPECT_EQ(removeTree(tree), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(std::filesystem::exists(tree));

    writeBytes(directory.path() / L"single", "x");
    EXPECT_EQ(removeFile(directory.path() / L"single"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(std::filesystem::exists(directory.path() / L"single"));
    EXPECT_EQ(removeFile(directory.path() / L"single"), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(FileLayer, SizesKindsAndRenames) {
    TemporaryDirectory directory;
    const auto file = directory.path() / L"payload.zip";
    writeBytes(file, std::string(1000, 'z'));
    EXPECT_EQ(fileSize(file), 1000u);
    EXPECT_TRUE(isRegularFile(file));
    EXPECT_FALSE(isRegularFile(directory.path()));
    EXPECT_FALSE(isRegularFile(directory.path() / L"missing"));
    std::uint64_t size = 0;
    EXPECT_EQ(queryFileSize(directory.path(), size), 336u) << "a folder has no size";
    try {
        (void)fileSize(directory.path() / L"missing");
        ADD_FAILURE() << "a missing file has a size";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.operation(), "file_size");
        EXPECT_EQ(error.code(), std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()));
    }
    {
        // The size of a file that another process holds open for writing.
        const UniqueFileHandle reader = holdOpen(file);
        EXPECT_EQ(fileSize(file), 1000u);
    }

    renameFile(file, directory.path() / L"setup.exe");
    EXPECT_EQ(bytesOf(directory.path() / L"setup.exe"), std::string(1000, 'z'));
    EXPECT_FALSE(std::filesystem::exists(file));
    try {
        renameFile(file, directory.path() / L"other.exe");
        ADD_FAILURE() << "renamed a missing file";
    } catch (const FileSystemError& error) {
        EXPECT_EQ(error.operation(), "rename");
        EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
    }
}

TEST(FileLayer, ChunkedReadsEndAtTheEndOfTheFile) {
    TemporaryDirectory directory;
    const auto file = directory.path() / L"data";
    writeBytes(file, std::string(10, 'd'));
    const UniqueFileHandle handle = openFileForReading(file);
    ASSERT_TRUE(handle);
    char buffer[8];
    DWORD read = 0;
    ASSERT_TRUE(readFileChunk(handle.get(), buffer, sizeof buffer, read));
    EXPECT_EQ(read, 8u);
    ASSERT_TRUE(readFileChunk(handle.get(), buffer, sizeof buffer, read));
    EXPECT_EQ(read, 2u);
    ASSERT_TRUE(readFileChunk(handle.get(), buffer, sizeof buffer, read));
    EXPECT_EQ(read, 0u);
    EXPECT_FALSE(openFileForReading(directory.path() / L"missing"));
}

} // namespace
} // namespace ardenwick
