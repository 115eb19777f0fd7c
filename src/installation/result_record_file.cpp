#include "installation/result_record_file.h"

#include "common/file_identity.h"
#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "common/win32_file.h"
#include "installation/installer_records.h"

#include <vector>

namespace ardenwick {
namespace {

std::string readKey(const std::wstring& path, const wchar_t* key, DWORD bufferCharacters) {
    std::vector<wchar_t> buffer(bufferCharacters, L'\0');
    const DWORD length =
        GetPrivateProfileStringW(L"installation", key, L"", buffer.data(), bufferCharacters, path.c_str());
    try {
        return wideToUtf8(std::wstring_view(buffer.data(), length));
    } catch (const std::runtime_error&) {
        // A value that is not valid text can match nothing it is compared with.
        return "\xFF";
    }
}

VolumeFileIdentity directoryIdentity(const WidePath& directory) {
    VolumeFileIdentity identity;
    if (const DWORD error = queryFileIdentity(directory, identity); error != ERROR_SUCCESS) {
        throw InstallationDiagnosticError("directory_identity", error);
    }
    return identity;
}

} // namespace

std::optional<ResultRecord> readResultRecord(const WidePath& path) {
    std::uint64_t size = 0;
    if (!isRegularFile(path) || queryFileSize(path, size) != ERROR_SUCCESS || size > MaxResultRecordBytes) {
        return std::nullopt;
    }
    const std::wstring file = path.wstring();
    ResultRecord record;
    record.schemaVersion = readKey(file, L"schemaVersion", 8);
    record.attemptId = readKey(file, L"attempt_id", 64);
    record.result = readKey(file, L"result", 32);
    record.version = readKey(file, L"version", 64);
    record.directory = readKey(file, L"directory", 32768);
    return record;
}

bool isSameDirectory(const WidePath& first, const WidePath& second) {
    return directoryIdentity(first) == directoryIdentity(second);
}

} // namespace ardenwick
