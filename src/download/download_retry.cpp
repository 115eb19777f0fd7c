#include "download/download_retry.h"

namespace ardenwick {

bool isRetryableDownloadError(const InstallationDiagnosticError& error) noexcept {
    const std::string& operation = error.operation;
    if (operation == "download_resume_rejected") {
        return true;
    }
    if (operation == "http_status" && error.httpStatus) {
        switch (*error.httpStatus) {
        case 408:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
        }
    }
    if (operation.starts_with("http_") && error.win32Error) {
        switch (*error.win32Error) {
        case 12002: // ERROR_WINHTTP_TIMEOUT
        case 12007: // ERROR_WINHTTP_NAME_NOT_RESOLVED
        case 12029: // ERROR_WINHTTP_CANNOT_CONNECT
        case 12030: // ERROR_WINHTTP_CONNECTION_ERROR
            return true;
        default:
            return false;
        }
    }
    if (operation == "download_size_mismatch") {
        return error.downloadedBytes && error.totalBytes && *error.downloadedBytes < *error.totalBytes;
    }
    return false;
}

} // namespace ardenwick
