#pragma once

#include "common/wide_path.h"

namespace ardenwick {

/// Removes, with their contents, the attempt folders in the state directory that no attempt holds any
/// more: those of runs that were killed or lost power, with a partial download of up to 512 MiB each.
/// A live attempt's folder is locked without delete sharing and is left alone at once, as is
/// everything in the state directory that is not an attempt folder. Errors are ignored.
void removeDeadAttemptFolders(const WidePath& stateDirectory) noexcept;

} // namespace ardenwick
