#include "common/semantic_version.h"
#include "common/win32_file.h"
#include "download/file_hash.h"
#include "maintenance/maintenance_checks.h"

#include <stdexcept>
#include <stop_token>

namespace ardenwick {

void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release) {
    if (!parseSemanticVersion(release.version).valid) {
        throw std::runtime_error("Invalid cached update version");
    }
    const WidePath payload = stagedPayloadPath(context, release.version);
    const std::uint64_t size = fileSize(payload);
    // Hashing up to 2 GiB is skipped when the size already tells the file has changed.
    if (size != release.size || sha256FileHex(payload, std::stop_token{}) != release.sha256) {
        throw std::runtime_error("Cached update payload has changed");
    }
}

} // namespace ardenwick
