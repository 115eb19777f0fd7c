#pragma once

// Whether an outbox file that SQLite reported as corrupt is really damaged, and setting it aside when it
// is: a healthy file of a newer SQLite, or one a peer has already replaced, is never moved.
#include "common/file_system.h"
#include "common/wide_path.h"

#include <optional>

namespace ardenwick {

/// What a look at a file that an outbox statement found corrupt shows.
enum class OutboxDamage {
    /// The header is not SQLite's, or a page is damaged.
    Damaged,
    /// Every page reads: the failure was a schema entry our SQLite cannot parse.
    Readable,
    /// Another connection's lock outlasted the busy timeout, or the check could not run: nothing is known.
    Busy,
    /// There is no file at the path any more.
    Missing,
};

/// Reads every page of the file with a connection of its own that passes over schema entries it cannot
/// parse (PRAGMA quick_check); the file and its journal are left as they are.
[[nodiscard]] OutboxDamage checkOutboxDamage(const WidePath& path);

enum class SetAside {
    /// The damaged file went to path + ".corrupt", with its "-wal" and "-shm" files.
    Moved,
    /// The file at the path is not the one found damaged (another process set that aside and made a
    /// fresh outbox, or it is gone): nothing was moved.
    Replaced,
    /// The file is readable: nothing was moved.
    Readable,
    /// The check could not run for another connection's lock: nothing was moved.
    Busy,
};

/// Moves the outbox file aside as path + ".corrupt" (with its "-wal" and "-shm" files, replacing those
/// of an earlier damage) only when the file at the path is still `damaged` (when known) and a check made
/// now still finds it damaged. Throws OutboxError (Unusable) when the file cannot be moved, as when
/// another process holds it open on Windows.
[[nodiscard]] SetAside setAsideIfStillDamaged(const WidePath& path,
                                              const std::optional<FileIdentity>& damaged);

} // namespace ardenwick
