#pragma once

#include <string>
#include <string_view>

namespace ardenwick {

/// "anon_" followed by at most 195 ASCII letters, digits, "_" and "-".
[[nodiscard]] bool isValidDistinctId(std::string_view distinctId);

/// 64-bit FNV-1a of the key's bytes in decimal, followed by ".db": the outbox file name of a project.
[[nodiscard]] std::string outboxFileName(std::string_view apiKey);

/// A random version-4 UUID in lower-case 8-4-4-4-12 form.
[[nodiscard]] std::string newUuidV4();

} // namespace ardenwick
