#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ardenwick::testing {

/// A throw-away user profile for the program under test (common/user_state.h): a root folder whose
/// "AppData\Local" stands for LocalAppData and a key of its own for the product's HKCU keys. While it
/// lives, this process and every program it starts keep their per-user state there; its end removes the
/// folder and the key and gives back the profile that was in force before (the test program's own).
/// Every test program has one for its whole run; a test that needs a first start makes one of its own.
class TestProfile {
public:
    /// A fresh root under this run's profiles folder, named after `name`.
    explicit TestProfile(std::wstring_view name = L"test");
    TestProfile(const TestProfile&) = delete;
    TestProfile& operator=(const TestProfile&) = delete;
    ~TestProfile();

    [[nodiscard]] const std::filesystem::path& root() const noexcept { return root_; }
    [[nodiscard]] std::filesystem::path localAppData() const { return root_ / L"AppData" / L"Local"; }

    /// The folder that holds every profile of the run; scripts and the kit remove it after a run.
    [[nodiscard]] static std::filesystem::path profilesFolder();

private:
    std::filesystem::path root_;
    std::optional<std::wstring> previous_;
};

/// Where the product's HKCU key `key` lives for the profile in force (throws without one).
[[nodiscard]] std::wstring productKey(std::wstring_view key);
/// The name of a per-user "Local\" mutex of the product for the profile in force (throws without one).
[[nodiscard]] std::wstring productMutex(std::wstring_view name);
/// LocalAppData for the profile in force (throws without one).
[[nodiscard]] std::filesystem::path productLocalAppData();

} // namespace ardenwick::testing
