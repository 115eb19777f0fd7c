#pragma once

#include "telemetry/event_properties.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr std::array<std::string_view, 6> WebAttributionKeys{"web_distinct_id", "web_utm_source",
                                                                    "web_utm_medium",  "web_utm_campaign",
                                                                    "web_utm_term",    "web_utm_content"};

/// The fixed web-download URL, accepted beside the installer's own download URL.
inline constexpr std::string_view WebDownloadUrl = "https://files.ardenwick.app/Ardenwick-Setup.exe";

/// The installer's own download URL: the full-installer URL with its last path segment replaced by
/// "Ardenwick-Setup.exe".
[[nodiscard]] std::string webSetupUrl(std::string_view fullInstallerUrl);

[[nodiscard]] bool isWebAttributionKey(std::string_view key);

/// The value rules of every web attribution key: 1 to 200 bytes, no control byte, valid UTF-8, and for
/// "web_distinct_id" only ASCII letters, digits, "-" and "_".
[[nodiscard]] bool isValidWebAttributionValue(std::string_view key, std::string_view value);

/// "%XX" to the byte, "+" to a space; a malformed escape makes the whole result empty.
[[nodiscard]] std::string percentDecode(std::string_view text);

/// The "web_" properties of a download link, or nothing when the link is not one of the two accepted
/// download URLs or any mapped value breaks the rules.
[[nodiscard]] EventProperties parseWebAttributionUrl(std::string_view url, std::string_view expected);

/// The "web_" properties of a Zone.Identifier stream's bytes (at most 8192).
[[nodiscard]] EventProperties parseZoneIdentifier(std::string_view stream, std::string_view expected);

/// The valid "web_" properties of an install-context object; a bad value is skipped alone.
[[nodiscard]] EventProperties webAttributionFromContext(const nlohmann::json& context);

} // namespace ardenwick
