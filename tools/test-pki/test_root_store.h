#pragma once

#include <filesystem>

namespace ardenwick::testing {

/// Adds the DER certificate in `path` to the machine's trusted "Root" store (LocalMachine), replacing
/// an existing copy. Under Wine this changes only the test prefix. Throws std::runtime_error on failure.
void installTrustedRootCertificate(const std::filesystem::path& path);

} // namespace ardenwick::testing
