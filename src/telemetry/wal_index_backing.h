#pragma once

namespace ardenwick {

/// Makes the default SQLite file system of this process write the bytes by which a WAL index ("-shm")
/// grows before SQLite maps them. A volume without room then fails the growth with
/// SQLITE_IOERR_SHMSIZE, as NTFS's own SetEndOfFile does, instead of leaving a sparse file whose first
/// write through the mapping faults (Wine, and any file system that extends files sparsely). Only the
/// bytes past the file's end are written, and only while SQLite holds the WAL write lock, so no other
/// process can be using them. Once per process; later calls do nothing.
void backWalIndexGrowth() noexcept;

} // namespace ardenwick
