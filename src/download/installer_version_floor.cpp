#include "download/installer_version_floor.h"

#include "common/semantic_version.h"

namespace ardenwick {

bool meetsInstallerVersionFloor(std::string_view productVersion, std::string_view floor) noexcept {
    const SemanticVersion version = parseSemanticVersion(productVersion);
    const SemanticVersion minimum = parseSemanticVersion(floor);
    return version.valid && minimum.valid && compareSemanticVersions(version, minimum) >= 0;
}

} // namespace ardenwick
