#include "download/failure_diagnostics.h"

#include "common/installation_diagnostic_error.h"

#include <string>
#include <system_error>

namespace ardenwick {
namespace {

template <typename Number>
void addIfPresent(EventProperties& properties, const char* name, const std::optional<Number>& value) {
    if (value) {
        properties[name] = static_cast<std::int64_t>(*value);
    }
}

} // namespace

EventProperties failureDiagnosticProperties(const std::exception& error, std::string_view defaultCode) {
    EventProperties properties;
    properties["error_code"] = std::string(defaultCode);
    properties["operation"] = std::string(defaultCode);
    if (const auto* diagnostic = dynamic_cast<const InstallationDiagnosticError*>(&error)) {
        properties["error_code"] = diagnostic->operation;
        properties["operation"] = diagnostic->operation;
        addIfPresent(properties, "win32_error", diagnostic->win32Error);
        addIfPresent(properties, "http_status", diagnostic->httpStatus);
        addIfPresent(properties, "downloaded_bytes", diagnostic->downloadedBytes);
        addIfPresent(properties, "total_bytes", diagnostic->totalBytes);
        addIfPresent(properties, "resumed_bytes", diagnostic->resumedBytes);
    } else if (const auto* systemError = dynamic_cast<const std::system_error*>(&error)) {
        if (systemError->code().category() == std::system_category()) {
            properties["win32_error"] = static_cast<std::int64_t>(systemError->code().value());
        }
    }
    return properties;
}

} // namespace ardenwick
