#include "installation/installer_records_file.h"

#include "download/text_conversion.h"
#include "installation/installation_diagnostic_error.h"

#include <windows.h>

#include <chrono>
#include <fstream>

namespace ardenwick {

void writeInstallerRecords(const std::filesystem::path& resultRecordPath,
                           const InstallerRecordValues& values) {
    const std::wstring identityPath = resultRecordPath.wstring() + IdentityRecordSuffix;
    const std::wstring contextPath = resultRecordPath.wstring() + ContextRecordSuffix;

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
    std::ofstream out(std::filesystem::path(contextPath), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        throw InstallationDiagnosticError("context_write");
    }
}

} // namespace ardenwick
