// Each layer of the defence against DLLs planted next to the program, tested on its own: a DLL named
// like a system DLL that is not a KnownDLL ("version.dll") lies beside a probe, and Wine is told to load
// that name native-first for the probe, as Windows loads every such name. The registry's per-program
// DllOverrides are used for that: "version=n,b" added to WINEDLLOVERRIDES here with
// SetEnvironmentVariableW left the probe on Wine's builtin (docs/wine-differences.md).
#include "support/process_runner.h"
#include "support/registry_value.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace ardenwick {
namespace {

/// A probe copied into a folder of its own with the planted version.dll beside it, and Wine's
/// native-first load order for that name, for that probe only.
class PlantedBeside {
public:
    explicit PlantedBeside(const std::wstring& probe)
        : folder_(std::filesystem::temp_directory_path() / (L"ardenwick-dll-defence-" + probe)),
          nativeFirst_(L"Software\\Wine\\AppDefaults\\" + probe + L".exe\\DllOverrides", L"version") {
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        const auto bin = testing::executableDirectory();
        std::filesystem::copy_file(bin / (probe + L".exe"), folder_ / (probe + L".exe"));
        std::filesystem::copy_file(bin / L"planted_version.dll", folder_ / L"version.dll");
        nativeFirst_.setString(L"native,builtin");
        probe_ = folder_ / (probe + L".exe");
    }
    ~PlantedBeside() { std::filesystem::remove_all(folder_); }
    PlantedBeside(const PlantedBeside&) = delete;
    PlantedBeside& operator=(const PlantedBeside&) = delete;

    /// The probe's exit code (probe_report.h), run with the folder as its current directory too.
    [[nodiscard]] std::optional<std::uint32_t> run() const {
        std::filesystem::current_path(folder_);
        const auto code = testing::runAndWait(probe_, L"", 60000);
        std::filesystem::current_path(testing::executableDirectory());
        return code;
    }
    [[nodiscard]] bool plantedCopyLoaded() const {
        return std::filesystem::exists(folder_ / L"version.dll.loaded");
    }

private:
    std::filesystem::path folder_;
    testing::ScopedRegistryValue nativeFirst_;
    std::filesystem::path probe_;
};

// Without either defence the planted copy is what a bare load gets: the world below can tell.
TEST(DllDefence, WithoutADefenceThePlantedCopyIsLoaded) {
    const PlantedBeside planted(L"undefended_load_probe");
    EXPECT_EQ(planted.run(), 1U);
    EXPECT_TRUE(planted.plantedCopyLoaded());
}

// The resolver names System32 itself, however wide the search path still is.
TEST(DllDefence, TheDelayLoadResolverAloneKeepsThePlantedCopyOut) {
    const PlantedBeside planted(L"delay_resolver_probe");
    EXPECT_EQ(planted.run(), 0U) << "1: the delay import was resolved to the copy beside the probe";
    EXPECT_FALSE(planted.plantedCopyLoaded());
}

// The entry narrows the search path before anything runs, so even a bare load by name stays in System32.
TEST(DllDefence, TheProcessEntryAloneKeepsThePlantedCopyOut) {
    const PlantedBeside planted(L"entry_load_probe");
    EXPECT_EQ(planted.run(), 0U) << "1: a bare LoadLibraryW found the copy beside the probe";
    EXPECT_FALSE(planted.plantedCopyLoaded());
}

} // namespace
} // namespace ardenwick
