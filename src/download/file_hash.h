#pragma once

#include "common/unique_handle.h"
#include "common/wide_path.h"

#include <stop_token>
#include <string>

namespace ardenwick {

/// SHA-256 of a file's whole content as 64 lower-case hexadecimal digits. Reads 128 KiB at a time and
/// checks the stop token before each read; throws std::runtime_error with a fixed message on failure
/// and "Update cancelled" when stopped.
[[nodiscard]] std::string sha256FileHex(const WidePath& path, const std::stop_token& stopToken);

/// As above for a file already open for reading, from its file pointer to its end.
[[nodiscard]] std::string sha256FileHex(HANDLE file, const std::stop_token& stopToken);

} // namespace ardenwick
