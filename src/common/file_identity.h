#pragma once

// Which file a path names, whatever its spelling: junctions, symbolic links, 8.3 names, SUBST drives
// and letter case all lead to the same volume serial number and file index.

#include "common/wide_path.h"

#include <windows.h>

namespace ardenwick {

struct VolumeFileIdentity {
    DWORD volumeSerialNumber = 0;
    DWORD fileIndexHigh = 0;
    DWORD fileIndexLow = 0;

    friend bool operator==(const VolumeFileIdentity&, const VolumeFileIdentity&) = default;
};

/// The identity of the file or folder the path names, following links; ERROR_SUCCESS or the Win32
/// error of the open or the query.
[[nodiscard]] DWORD queryFileIdentity(const WidePath& path, VolumeFileIdentity& identity) noexcept;

/// Both paths name one existing file or folder; false when either cannot be opened.
[[nodiscard]] bool namesSameFile(const WidePath& first, const WidePath& second) noexcept;

} // namespace ardenwick
