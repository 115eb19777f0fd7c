#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace ardenwick {

/// The exception of the whole workflow. Its message is a lower snake_case operation name; the codes
/// say what the platform answered. The byte counts are filled in by the installer download.
class InstallationDiagnosticError : public std::runtime_error {
public:
    explicit InstallationDiagnosticError(const std::string& operation,
                                         std::optional<std::uint32_t> win32Error = std::nullopt,
                                         std::optional<std::uint32_t> httpStatus = std::nullopt)
        : std::runtime_error(operation), operation(operation), win32Error(win32Error),
          httpStatus(httpStatus) {}

    std::string operation;
    std::optional<std::uint32_t> win32Error;
    std::optional<std::uint32_t> httpStatus;
    std::optional<std::uint64_t> downloadedBytes;
    std::optional<std::uint64_t> totalBytes;
    std::optional<std::uint64_t> resumedBytes;
};

} // namespace ardenwick
