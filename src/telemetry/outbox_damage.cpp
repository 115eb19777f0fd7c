#include "telemetry/outbox_damage.h"

#include "telemetry/installation_outbox.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace ardenwick {

namespace {

/// A line of quick_check that speaks of damage. Pages of a table whose schema entry could not be parsed
/// belong to no b-tree the check knows, so "never used" says nothing about the file.
bool reportsDamage(std::string_view line) {
    return line != "ok" && line.find("is never used") == std::string_view::npos;
}

OutboxDamage damageOfResult(int result) {
    switch (result & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return OutboxDamage::Damaged;
    default:
        // A lock, or the check could not run (I/O, a journal that cannot be opened, out of memory):
        // nothing is known, so nothing is moved, and the file is looked at again later.
        return OutboxDamage::Busy;
    }
}

/// Moves the "-wal" and "-shm" files of a set-aside outbox beside it. An aside journal that this damage
/// lacks belongs to an earlier one and goes, but only when this call moved the file itself: when
/// finishing an earlier, partial set-aside, the aside journals are the ones that call just moved.
void setAsideJournals(const std::wstring& path, const std::wstring& aside, bool movedFile) {
    for (const wchar_t* suffix : {L"-wal", L"-shm"}) {
        const WidePath from(path + suffix);
        const WidePath to(aside + suffix);
        const auto error = moveFileReplacing(from, to);
        if (isNoSuchFile(error)) {
            if (movedFile) {
                (void)removeFileIfPresent(to);
            }
        } else if (error != 0 && removeFileIfPresent(from) != 0) {
            // A journal left beside a fresh database would be replayed into it.
            throw OutboxError("installation_outbox_set_aside", OutboxFailure::Unusable);
        }
    }
}

} // namespace

OutboxDamage checkOutboxDamage(const WidePath& path) {
    if (!fileIdentity(path)) {
        return OutboxDamage::Missing;
    }
    sqlite3* db = nullptr;
    // Never creates the file, never checkpoints into it, and skips schema entries it cannot parse.
    int result = sqlite3_open_v2(path.u8string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    OutboxDamage damage = OutboxDamage::Readable;
    if (result == SQLITE_OK) {
        sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_db_config(db, SQLITE_DBCONFIG_WRITABLE_SCHEMA, 1, nullptr);
        sqlite3_busy_timeout(db, outbox_limits::BusyTimeoutMilliseconds);
        sqlite3_stmt* check = nullptr;
        result = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &check, nullptr);
        while (result == SQLITE_OK) {
            const int step = sqlite3_step(check);
            if (step == SQLITE_DONE) {
                break;
            }
            if (step != SQLITE_ROW) {
                result = step;
                break;
            }
            const auto* line = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
            if (line != nullptr && reportsDamage(line)) {
                damage = OutboxDamage::Damaged;
                break;
            }
        }
        sqlite3_finalize(check);
    }
    sqlite3_close(db);
    return result == SQLITE_OK ? damage : damageOfResult(result);
}

SetAside setAsideIfStillDamaged(const WidePath& path, const std::optional<FileIdentity>& damaged) {
    const std::wstring aside = path.native() + L".corrupt";
    const auto now = fileIdentity(path);
    if (!now) {
        // Set aside already, perhaps by a call that failed on a journal: finish that one.
        setAsideJournals(path.native(), aside, false);
        return SetAside::Replaced;
    }
    if (damaged && *now != *damaged) {
        return SetAside::Replaced;
    }
    switch (checkOutboxDamage(path)) {
    case OutboxDamage::Damaged:
        break;
    case OutboxDamage::Readable:
        return SetAside::Readable;
    case OutboxDamage::Busy:
        return SetAside::Busy;
    case OutboxDamage::Missing:
        return SetAside::Replaced;
    }
    // The file checked is still the one at the path: a replacement made during the check is not moved.
    if (fileIdentity(path) != now) {
        return SetAside::Replaced;
    }
    if (const auto error = moveFileReplacing(path, WidePath(aside)); error != 0) {
        if (isNoSuchFile(error)) {
            return SetAside::Replaced;
        }
        throw OutboxError("installation_outbox_set_aside", OutboxFailure::Unusable);
    }
    setAsideJournals(path.native(), aside, true);
    return SetAside::Moved;
}

} // namespace ardenwick
