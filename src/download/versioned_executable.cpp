#include "download/versioned_executable.h"

#include "common/win32_file.h"
#include "download/expected_file_version.h"
#include "download/signature_verification.h"
#include "download/version_resource.h"

#include <stdexcept>

namespace ardenwick {

void verifyVersionedExecutable(const WidePath& path, std::string_view expectedVersion) {
    if (!hasExecutableExtension(path.filename()) || !isRegularFile(path)) {
        throw std::runtime_error("The installer path is invalid");
    }
    const std::optional<FixedFileVersion> fileVersion = readFixedFileVersion(path);
    if (!fileVersion) {
        throw std::runtime_error("The installer version is unavailable");
    }
    const auto expected = parseExpectedFileVersion(expectedVersion);
    if (!expected) {
        throw std::runtime_error("The expected installer version is invalid");
    }
    const std::uint32_t expectedMostSignificant = (std::uint32_t{(*expected)[0]} << 16) | (*expected)[1];
    const std::uint32_t expectedLeastSignificant = std::uint32_t{(*expected)[2]} << 16;
    if (fileVersion->mostSignificant != expectedMostSignificant ||
        fileVersion->leastSignificant != expectedLeastSignificant) {
        throw std::runtime_error("The installer version does not match the update");
    }
    // The signature is checked last: it is the slow step.
    verifySignedArtifact(path);
}

} // namespace ardenwick
