#pragma once

// Where this program keeps what belongs to the user: LocalAppData, keys under HKEY_CURRENT_USER and the
// "Local\" mutexes that guard them. The shipped program asks Windows. A test build (ARDENWICK_TEST_STATE)
// keeps all of it under a throw-away profile root that the environment variable ARDENWICK_TEST_PROFILE
// names, so a test run never reads or changes the state of the person who runs it; without the variable
// a test build has no user state at all rather than falling back to the real one.
// Header-only, so the stand-ins of the full installer and the application resolve the same places.

#include "common/test_state_build.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr wchar_t TestProfileVariable[] = L"ARDENWICK_TEST_PROFILE";
/// Parent of every test profile's keys under HKEY_CURRENT_USER; no shipped program reads it.
inline constexpr wchar_t TestStateRegistryRoot[] = L"Software\\ArdenwickTestState";

[[nodiscard]] constexpr bool isTestStateBuild() noexcept {
    return ARDENWICK_TEST_STATE_BUILD != 0;
}

/// The profile root of a test build, or nothing (also in the shipped program).
[[nodiscard]] inline std::optional<std::wstring> testProfileRoot() {
    if (!isTestStateBuild()) {
        return std::nullopt;
    }
    std::wstring value(32768, L'\0');
    const DWORD length = GetEnvironmentVariableW(TestProfileVariable, value.data(), 32768);
    if (length == 0 || length >= 32768) {
        return std::nullopt;
    }
    value.resize(length);
    while (!value.empty() && (value.back() == L'\\' || value.back() == L'/')) {
        value.pop_back();
    }
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

/// A short stable name for one profile root (FNV-1a over its UTF-16 text, upper-cased), usable in key
/// and mutex names where the root's own text would be too long or contain separators.
[[nodiscard]] inline std::wstring testProfileTag(std::wstring_view root) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const wchar_t c : root) {
        const wchar_t upper = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        hash = (hash ^ static_cast<std::uint16_t>(upper)) * 0x100000001b3ULL;
    }
    constexpr wchar_t digits[] = L"0123456789abcdef";
    std::wstring tag(16, L'0');
    for (int i = 15; i >= 0; --i, hash >>= 4) {
        tag[static_cast<std::size_t>(i)] = digits[hash & 0xF];
    }
    return tag;
}

/// FOLDERID_LocalAppData, or in a test build the profile root's "AppData\Local"; nothing on failure.
[[nodiscard]] inline std::optional<std::wstring> localAppDataFolder() {
    if (isTestStateBuild()) {
        const auto root = testProfileRoot();
        if (!root) {
            return std::nullopt;
        }
        return *root + L"\\AppData\\Local";
    }
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
    std::optional<std::wstring> path;
    if (SUCCEEDED(result) && folder) {
        path = std::wstring(folder);
    }
    CoTaskMemFree(folder);
    return path;
}

/// The path under HKEY_CURRENT_USER of one of the product's keys (for example "Software\Ardenwick"); in
/// a test build the same path below the profile's own key. Nothing in a test build without a profile.
[[nodiscard]] inline std::optional<std::wstring> userRegistryKey(std::wstring_view key) {
    if (!isTestStateBuild()) {
        return std::wstring(key);
    }
    const auto root = testProfileRoot();
    if (!root) {
        return std::nullopt;
    }
    return std::wstring(TestStateRegistryRoot) + L"\\" + testProfileTag(*root) + L"\\" + std::wstring(key);
}

/// The name of a "Local\" mutex that guards user state; a test profile gets mutexes of its own, so
/// tests on different profiles never wait for each other. Nothing in a test build without a profile.
[[nodiscard]] inline std::optional<std::wstring> userStateMutexName(std::wstring_view name) {
    if (!isTestStateBuild()) {
        return std::wstring(name);
    }
    const auto root = testProfileRoot();
    if (!root) {
        return std::nullopt;
    }
    return std::wstring(name) + L"." + testProfileTag(*root);
}

} // namespace ardenwick
