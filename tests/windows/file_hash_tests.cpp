#include "download/file_hash.h"

#include "release_server_fixture.h"

#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace ardenwick {
namespace {

using testing::TemporaryDirectory;

std::filesystem::path writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream stream(path, std::ios::binary);
    stream.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(FileHash, KnownDigestsInLowerCaseHex) {
    TemporaryDirectory directory;
    EXPECT_EQ(sha256FileHex(writeFile(directory.path() / L"empty", ""), {}),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256FileHex(writeFile(directory.path() / L"abc", "abc"), {}),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Exactly one read buffer, and one byte more, so the read loop's edges are crossed.
    EXPECT_EQ(sha256FileHex(writeFile(directory.path() / L"block", std::string(131072, 'a')), {}),
              "b44ffb72fcc259676bd80495fef1b44b808ca8f1ffe1b1706a4d7911b0e31f11");
    EXPECT_EQ(sha256FileHex(writeFile(directory.path() / L"block1", std::string(131073, 'a')), {}),
              "7e009ea4ef882e385b3c0bcbbfa8d009bb0a633bdd764415c09182ee0e75da73");
}

TEST(FileHash, MatchesTheServersDigestOfAPayload) {
    const auto server = testing::ReleaseServer::fromEnvironment();
    ASSERT_TRUE(server) << "run through tools/release-server/with-server";
    for (const char* payload : {"installer", "installer_v2", "small", "empty"}) {
        EXPECT_EQ(sha256FileHex(server->payloadPath(payload), {}), server->payloadSha256(payload)) << payload;
    }
}

TEST(FileHash, FailuresHaveTheirMessages) {
    TemporaryDirectory directory;
    EXPECT_EQ(messageOf([&] { (void)sha256FileHex(directory.path() / L"missing", {}); }),
              "Unable to open file for SHA-256");
    std::stop_source stopSource;
    stopSource.request_stop();
    const auto file = writeFile(directory.path() / L"abc", "abc");
    EXPECT_EQ(messageOf([&] { (void)sha256FileHex(file, stopSource.get_token()); }), "Update cancelled");
    // A file that opens but whose reads fail (Linux answers EIO at offset 0 of a process's memory, seen
    // through Wine's Z: drive) has no digest: a read error is never taken for the end of the file.
    if (testing::runningUnderWine()) {
        EXPECT_EQ(messageOf([&] { (void)sha256FileHex(L"Z:\\proc\\self\\mem", {}); }),
                  "Unable to calculate SHA-256");
    }
}

TEST(FileHash, ReadsAFileThatAnotherHandleHoldsOpen) {
    TemporaryDirectory directory;
    const auto path = directory.path() / L"locked";
    std::ofstream writer(path, std::ios::binary);
    writer << "abc";
    writer.flush();
    EXPECT_EQ(sha256FileHex(path, {}), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

} // namespace
} // namespace ardenwick
