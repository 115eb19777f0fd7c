#pragma once

#include "common/wide_path.h"

#include <string_view>

namespace ardenwick {

/// The executable at `path` carries exactly the file version <expectedVersion>.0 and is signed by this
/// program's signer. Throws std::runtime_error otherwise.
void verifyVersionedExecutable(const WidePath& path, std::string_view expectedVersion);

} // namespace ardenwick
