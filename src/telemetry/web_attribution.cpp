#include "telemetry/web_attribution.h"

#include "telemetry/utf8.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace ardenwick {

namespace {

constexpr std::size_t MaximumUrlLength = 8192;
constexpr std::size_t MaximumStreamLength = 8192;
constexpr std::size_t MaximumValueLength = 200;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isAsciiAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// "ph_distinct_id" and "aw_utm_*" map to the event keys; everything else maps to nothing.
std::string mapParameterName(std::string_view name) {
    if (name == "ph_distinct_id") {
        return "web_distinct_id";
    }
    if (name.size() >= 7 && name.substr(0, 7) == "aw_utm_") {
        std::string key = "web_" + std::string(name.substr(3));
        if (isWebAttributionKey(key)) {
            return key;
        }
    }
    return {};
}

} // namespace

std::string webSetupUrl(std::string_view fullInstallerUrl) {
    const std::size_t slash = fullInstallerUrl.rfind('/');
    return std::string(fullInstallerUrl.substr(0, slash == std::string_view::npos ? 0 : slash + 1)) +
           "Ardenwick-Setup.exe";
}

bool isWebAttributionKey(std::string_view key) {
    return std::find(WebAttributionKeys.begin(), WebAttributionKeys.end(), key) != WebAttributionKeys.end();
}

bool isValidWebAttributionValue(std::string_view key, std::string_view value) {
    if (value.empty() || value.size() > MaximumValueLength) {
        return false;
    }
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    if (!isValidUtf8(value)) {
        return false;
    }
    if (key == "web_distinct_id") {
        return std::all_of(value.begin(), value.end(),
                           [](char c) { return isAsciiAlphanumeric(c) || c == '-' || c == '_'; });
    }
    return true;
}

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return {};
            }
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                return {};
            }
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c == '+') {
            decoded.push_back(' ');
        } else {
            decoded.push_back(c);
        }
    }
    return decoded;
}

EventProperties parseWebAttributionUrl(std::string_view url, std::string_view expected) {
    if (url.size() > MaximumUrlLength || url.find('#') != std::string_view::npos ||
        url.find('\0') != std::string_view::npos) {
        return {};
    }
    const std::size_t question = url.find('?');
    if (question == std::string_view::npos) {
        return {};
    }
    const std::string_view base = url.substr(0, question);
    if (base != expected && base != WebDownloadUrl) {
        return {};
    }
    EventProperties result;
    std::string_view query = url.substr(question + 1);
    while (true) {
        const std::size_t ampersand = query.find('&');
        const std::string_view piece = query.substr(0, ampersand);
        const std::size_t equals = piece.find('=');
        if (equals != std::string_view::npos) {
            const std::string key = mapParameterName(percentDecode(piece.substr(0, equals)));
            if (!key.empty()) {
                std::string value = percentDecode(piece.substr(equals + 1));
                // One bad value discredits the whole link.
                if (!isValidWebAttributionValue(key, value)) {
                    return {};
                }
                result[key] = std::move(value);
            }
        }
        if (ampersand == std::string_view::npos) {
            break;
        }
        query.remove_prefix(ampersand + 1);
    }
    return result;
}

EventProperties parseZoneIdentifier(std::string_view stream, std::string_view expected) {
    if (stream.empty() || stream.size() > MaximumStreamLength) {
        return {};
    }
    bool inZoneTransfer = false;
    bool seenHostUrl = false;
    EventProperties result;
    while (!stream.empty()) {
        const std::size_t newline = stream.find('\n');
        std::string_view line = stream.substr(0, newline);
        stream.remove_prefix(newline == std::string_view::npos ? stream.size() : newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() == '[') {
            inZoneTransfer = line == "[ZoneTransfer]";
            continue;
        }
        if (inZoneTransfer && line.substr(0, 8) == "HostUrl=") {
            // Two links leave no way to tell which one the download came from.
            if (seenHostUrl) {
                return {};
            }
            seenHostUrl = true;
            result = parseWebAttributionUrl(line.substr(8), expected);
        }
    }
    return result;
}

EventProperties webAttributionFromContext(const nlohmann::json& context) {
    EventProperties result;
    if (!context.is_object()) {
        return result;
    }
    for (const std::string_view key : WebAttributionKeys) {
        const auto found = context.find(std::string(key));
        if (found == context.end() || !found->is_string()) {
            continue;
        }
        const auto& value = found->get_ref<const std::string&>();
        if (isValidWebAttributionValue(key, value)) {
            result[std::string(key)] = value;
        }
    }
    return result;
}

} // namespace ardenwick
