#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ardenwick {

/// 64-bit FNV-1a over the UTF-16 code units of `text`, each as two little-endian bytes.
[[nodiscard]] std::uint64_t fnv1a64Utf16(std::u16string_view text) noexcept;

/// The key a maintenance instance is known by: the FNV-1a hash of its installation root with the
/// lowest bit set, so it is never 0 (0 is the normal instance's key).
[[nodiscard]] std::uint64_t maintenanceInstanceKey(std::u16string_view installationRoot) noexcept;

/// "Global\Ardenwick.Installation.<SID>", with ".Maintenance.<key>" for a maintenance instance.
[[nodiscard]] std::wstring instanceMutexName(std::wstring_view userSid,
                                             std::optional<std::uint64_t> maintenanceKey);

} // namespace ardenwick
