#pragma once

#include "common/wide_path.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

/// The runtime-error messages of one caller of the version-string lookup.
struct VersionStringMessages {
    const char* missing;     // no version resource
    const char* unreadable;  // GetFileVersionInfoW failed
    const char* translation; // translation table missing or malformed
    const char* noValue;     // no US-English table gave a value
};

/// Value of `key` in the first US-English (1033) string table of the file's version resource that
/// has a non-empty value for it. Failures throw std::runtime_error with the caller's messages.
[[nodiscard]] std::wstring readUsEnglishVersionString(const WidePath& path, std::wstring_view key,
                                                      const VersionStringMessages& messages);

/// The same lookup with the installer-metadata code words ("installer_metadata_missing",
/// "installer_metadata_read", "installer_metadata_translation").
[[nodiscard]] std::wstring readVersionString(const WidePath& path, std::wstring_view key);

/// The numeric file version of the fixed file info (dwFileVersionMS, dwFileVersionLS), or nothing when
/// the resource, or a well-formed fixed block of it, is missing.
struct FixedFileVersion {
    std::uint32_t mostSignificant = 0;
    std::uint32_t leastSignificant = 0;
};
[[nodiscard]] std::optional<FixedFileVersion> readFixedFileVersion(const WidePath& path);

} // namespace ardenwick
