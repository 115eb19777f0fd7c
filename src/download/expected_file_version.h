#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ardenwick {

/// The expected version of a versioned executable: exactly three "."-separated components of one or
/// more ASCII digits each (leading zeros allowed), each at most 65535. Unlike the semantic version of
/// the launcher's documents, this is the numeric form a version resource can hold.
[[nodiscard]] std::optional<std::array<std::uint16_t, 3>>
parseExpectedFileVersion(std::string_view text) noexcept;

/// True when the file name's extension is exactly ".exe" (case-sensitive). The extension starts at the
/// last "." of the name (a leading "." does not count); an alternate-stream suffix (":name") is no part
/// of it.
[[nodiscard]] bool hasExecutableExtension(std::wstring_view fileName) noexcept;

} // namespace ardenwick
