#include "installation/failure_record_file.h"

#include <windows.h>

#include <fstream>
#include <iterator>

namespace ardenwick {

void writeFailureRecord(const std::filesystem::path& stateDirectory, InstallationKind kind) noexcept {
    try {
        std::error_code ignored;
        std::filesystem::create_directories(stateDirectory, ignored);
        const auto temporary = stateDirectory / FailureRecordTemporaryFileName;
        const auto record = stateDirectory / FailureRecordFileName;
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << failureRecordText(kind);
            out.close();
            if (!out) {
                // Never move a half-written file over a good record.
                return;
            }
        }
        MoveFileExW(temporary.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    } catch (...) {
    }
}

std::optional<std::string> readFailureRecordFile(const std::filesystem::path& stateDirectory) noexcept {
    try {
        const auto record = stateDirectory / FailureRecordFileName;
        std::error_code error;
        if (!std::filesystem::is_regular_file(record, error)) {
            return std::nullopt;
        }
        const auto size = std::filesystem::file_size(record, error);
        if (error || size > MaxFailureRecordBytes) {
            return std::nullopt;
        }
        std::ifstream in(record, std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        // Read at most one byte past the bound, in case the file grew after its size was taken.
        std::string text(static_cast<std::size_t>(MaxFailureRecordBytes) + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        if (text.size() > MaxFailureRecordBytes) {
            return std::nullopt;
        }
        return text;
    } catch (...) {
        return std::nullopt;
    }
}

void removeFailureRecord(const std::filesystem::path& stateDirectory) noexcept {
    std::error_code ignored;
    std::filesystem::remove(stateDirectory / FailureRecordFileName, ignored);
}

} // namespace ardenwick
