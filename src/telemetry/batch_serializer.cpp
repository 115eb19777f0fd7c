#include "telemetry/batch_serializer.h"

#include "telemetry/event_timestamp.h"
#include "telemetry/fixed_decimal.h"

#include <cstdio>
#include <type_traits>

namespace ardenwick {

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    out += escapeJsonString(text);
    out.push_back('"');
}

void appendValue(std::string& out, const PropertyValue& value) {
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                appendFixedThousandths(out, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendQuoted(out, v);
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                out.push_back('[');
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) {
                        out.push_back(',');
                    }
                    appendQuoted(out, v[i]);
                }
                out.push_back(']');
            } else {
                out.push_back('{');
                bool first = true;
                for (const auto& [key, text] : v) {
                    if (!first) {
                        out.push_back(',');
                    }
                    first = false;
                    appendQuoted(out, key);
                    out.push_back(':');
                    appendQuoted(out, text);
                }
                out.push_back('}');
            }
        },
        value);
}

} // namespace

std::string escapeJsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += escape;
            } else {
                out.push_back(c);
            }
        }
    }
    return out;
}

std::string serializeBatch(std::string_view apiKey, const std::vector<MetricsEvent>& events) {
    std::string out = "{\"api_key\":";
    appendQuoted(out, apiKey);
    out += ",\"batch\":[";
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MetricsEvent& event = events[i];
        if (i > 0) {
            out.push_back(',');
        }
        out += "{\"event\":";
        appendQuoted(out, event.name);
        out += ",\"uuid\":";
        appendQuoted(out, event.uuid);
        out += ",\"properties\":{\"distinct_id\":";
        appendQuoted(out, event.distinctId);
        for (const auto& [name, value] : event.properties) {
            // The envelope's distinct id is the only one the server may see.
            if (name == "distinct_id") {
                continue;
            }
            out.push_back(',');
            appendQuoted(out, name);
            out.push_back(':');
            appendValue(out, value);
        }
        out += "},\"timestamp\":";
        appendQuoted(out, formatEventTimestamp(event.occurredAt));
        out.push_back('}');
    }
    out += "]}";
    return out;
}

} // namespace ardenwick
