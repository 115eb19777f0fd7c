// The staged update package check against real files in a temporary installation root.
#include <windows.h>

#include "common/file_system_error.h"
#include "common/unique_handle.h"
#include "maintenance/maintenance_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace ardenwick {
namespace {

class StagedPayload : public ::testing::Test {
protected:
    void SetUp() override {
        context_.installationRoot = std::filesystem::temp_directory_path() /
                                    (L"ardenwick-staged-" + std::to_wstring(GetCurrentProcessId()));
        context_.environment = "prod";
        std::filesystem::remove_all(context_.installationRoot);
        std::filesystem::create_directories(context_.installationRoot / L"staging" / L"1.2.3");
        release_.version = "1.2.3";
        // SHA-256 of "abc".
        release_.sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        release_.size = 3;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(context_.installationRoot, ignored);
    }
    void stage(const std::string& bytes) {
        std::ofstream(
            std::filesystem::path(context_.installationRoot / L"staging" / L"1.2.3" / L"payload.zip"),
            std::ios::binary | std::ios::trunc)
            << bytes;
    }
    std::string outcome() {
        try {
            checkStagedPayload(context_, release_);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "";
    }

    MaintenanceCheckContext context_;
    UpdateRelease release_;
};

TEST_F(StagedPayload, AcceptsTheExactPackage) {
    EXPECT_EQ(stagedPayloadPath(context_, "1.2.3"),
              context_.installationRoot / L"staging" / L"1.2.3" / L"payload.zip");
    stage("abc");
    EXPECT_EQ(outcome(), "");
}

TEST_F(StagedPayload, ChangedSizeOrContentIsRejected) {
    stage("abd");
    EXPECT_EQ(outcome(), "Cached update payload has changed");
    stage("abcd");
    EXPECT_EQ(outcome(), "Cached update payload has changed");
    stage("abc");
    release_.sha256 = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    EXPECT_EQ(outcome(), "Cached update payload has changed");
}

TEST_F(StagedPayload, MissingPackageIsAFileSystemError) {
    try {
        checkStagedPayload(context_, release_);
        ADD_FAILURE() << "a missing package was accepted";
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find("file_size"), std::string::npos) << error.what();
        EXPECT_EQ(error.operation(), "file_size");
        EXPECT_EQ(error.code().value(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(error.path(), stagedPayloadPath(context_, "1.2.3"));
    }
}

// A scanner that holds the package without sharing it makes the open for the hash fail with a sharing
// violation; it is opened again until the scanner lets go, or fails as ever once the limit is reached.
TEST_F(StagedPayload, TheOpenForTheHashWaitsOutAScannerUntilTheLimit) {
    stage("abc");
    const auto holdPackage = [&] {
        return UniqueFileHandle(CreateFileW(stagedPayloadPath(context_, "1.2.3").c_str(), GENERIC_READ, 0,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const auto outcomeWith = [&](const SharingRetryTimings& timings) {
        try {
            checkStagedPayload(context_, release_, timings, {});
        } catch (const std::exception& error) {
            return std::string(error.what());
        }
        return std::string();
    };
    {
        // Let go while the check waits; the limit is far beyond any stall of the host.
        UniqueFileHandle held = holdPackage();
        ASSERT_TRUE(held);
        std::jthread scanner([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            held.reset();
        });
        EXPECT_EQ(outcomeWith({std::chrono::milliseconds(10), std::chrono::milliseconds(40),
                               std::chrono::minutes(2)}),
                  "");
    }
    // Held for the whole check: the same failure as without the retries.
    const UniqueFileHandle held = holdPackage();
    ASSERT_TRUE(held);
    EXPECT_EQ(outcomeWith({std::chrono::milliseconds(10), std::chrono::milliseconds(40),
                           std::chrono::milliseconds(150)}),
              "Unable to open file for SHA-256");
}

TEST_F(StagedPayload, VersionMustBeSemantic) {
    stage("abc");
    for (const char* version : {"1.2", "01.2.3", "1.2.3-beta", "../1.2.3", ""}) {
        release_.version = version;
        EXPECT_EQ(outcome(), "Invalid cached update version") << version;
    }
}

} // namespace
} // namespace ardenwick
