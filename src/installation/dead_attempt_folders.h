#pragma once

#include "common/wide_path.h"

namespace ardenwick {

/// Whether the full installer of the attempt folder is running: its "setup.exe" is mapped as the image
/// of a live process, so the system refuses to open it for writing (a sharing violation, whatever the
/// opener shares). The mapping is the system's own state: it lasts exactly as long as a process runs
/// the file, killed runs cannot leave it behind and no process id can be reused for it.
[[nodiscard]] bool attemptInstallerRunning(const WidePath& attemptFolder) noexcept;

/// Whether an attempt folder in the state directory holds a running full installer, such as that of a
/// run ended from Task Manager while its installer ran (the installer outlives it).
[[nodiscard]] bool earlierInstallerRunning(const WidePath& stateDirectory) noexcept;

/// Removes, with their contents, the attempt folders in the state directory that no attempt holds any
/// more: those of runs that were killed or lost power, with a partial download of up to 512 MiB each.
/// A live attempt's folder is locked without delete sharing and is left alone at once, as is a folder
/// whose installer still runs (it needs its records) and everything in the state directory that is not
/// an attempt folder. Errors are ignored.
void removeDeadAttemptFolders(const WidePath& stateDirectory) noexcept;

} // namespace ardenwick
