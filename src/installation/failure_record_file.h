#pragma once

#include "common/wide_path.h"
#include "installation/failure_record.h"

#include <optional>
#include <string>

namespace ardenwick {

/// Replaces stateDirectory\last-failure.json atomically (through ".new" and MoveFileExW). Never throws;
/// when any step fails the previous record stays as it was.
void writeFailureRecord(const WidePath& stateDirectory, InstallationKind kind) noexcept;

/// The record's bytes, or nothing when it is missing, unreadable or larger than 4096 bytes.
[[nodiscard]] std::optional<std::string> readFailureRecordFile(const WidePath& stateDirectory) noexcept;

/// Deletes the record, ignoring errors.
void removeFailureRecord(const WidePath& stateDirectory) noexcept;

} // namespace ardenwick
