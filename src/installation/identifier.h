#pragma once

#include <string>

namespace ardenwick {

/// A fresh GUID as 36 upper-case hexadecimal characters in 8-4-4-4-12 groups, without braces.
/// Throws InstallationDiagnosticError("identity_unavailable") when no GUID can be made.
[[nodiscard]] std::string newIdentifier();

} // namespace ardenwick
