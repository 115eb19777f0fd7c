#include "installation/failure_record_file.h"

#include "common/win32_file.h"

namespace ardenwick {

void writeFailureRecord(const WidePath& stateDirectory, InstallationKind kind) noexcept {
    try {
        static_cast<void>(tryCreateDirectories(stateDirectory));
        // A half-written file never replaces a good record; the outcome is not reported.
        static_cast<void>(
            replaceFileAtomically(stateDirectory / FailureRecordFileName, failureRecordText(kind)));
    } catch (...) {
    }
}

std::optional<std::string> readFailureRecordFile(const WidePath& stateDirectory) noexcept {
    try {
        const auto record = stateDirectory / FailureRecordFileName;
        if (!isRegularFile(record)) {
            return std::nullopt;
        }
        FileBytes file = readFileBounded(record, MaxFailureRecordBytes);
        if (!file.ok()) {
            return std::nullopt;
        }
        return std::move(file.bytes);
    } catch (...) {
        return std::nullopt;
    }
}

void removeFailureRecord(const WidePath& stateDirectory) noexcept {
    try {
        removeFile(stateDirectory / FailureRecordFileName);
    } catch (...) {
    }
}

} // namespace ardenwick
