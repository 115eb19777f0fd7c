#include "installation/installer_records_file.h"

#include "common/installation_diagnostic_error.h"
#include "common/text_conversion.h"
#include "common/win32_file.h"

#include <windows.h>

#include <chrono>

namespace ardenwick {

void writeInstallerRecords(const WidePath& resultRecordPath, const InstallerRecordValues& values) {
    const std::wstring identityPath = resultRecordPath.wstring() + IdentityRecordSuffix;
    const std::wstring contextPath = resultRecordPath.wstring() + ContextRecordSuffix;

    // The full installer writes the result record with the profile functions, which keep the encoding
    // of an existing file.
    for (const WidePath& record : {resultRecordPath, WidePath(identityPath)}) {
        if (const DWORD error = writeWholeFile(record, UnicodeRecordStart); error != ERROR_SUCCESS) {
            throw InstallationDiagnosticError("context_write", error);
        }
    }

    const std::pair<const wchar_t*, const std::string*> identityKeys[] = {
        {L"install_flow_id", &values.installFlowId},
        {L"attempt_id", &values.attemptId},
        {L"anonymous_id", &values.anonymousId},
    };
    for (const auto& [key, value] : identityKeys) {
        const std::wstring wide = utf8ToWide(*value);
        if (!WritePrivateProfileStringW(L"context", key, wide.c_str(), identityPath.c_str())) {
            const DWORD error = GetLastError();
            throw InstallationDiagnosticError("context_write", error);
        }
    }
    for (const auto& [key, value] : values.webAttribution) {
        // Attribution is best effort: a key that cannot be written does not stop the installation.
        try {
            const std::wstring wideKey = utf8ToWide(key);
            const std::wstring hex = utf8ToWide(hexOfBytes(value));
            WritePrivateProfileStringW(L"context", wideKey.c_str(), hex.c_str(), identityPath.c_str());
        } catch (const std::runtime_error&) {
        }
    }

    const auto created =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::string text;
    try {
        text = contextRecordText(values, created);
    } catch (const std::exception&) {
        throw InstallationDiagnosticError("context_write");
    }
    if (writeWholeFile(contextPath, text) != ERROR_SUCCESS) {
        throw InstallationDiagnosticError("context_write");
    }
}

} // namespace ardenwick
