#include "common/semantic_version.h"
#include "common/win32_file.h"
#include "download/file_hash.h"
#include "maintenance/maintenance_checks.h"

#include <stdexcept>
#include <stop_token>

namespace ardenwick {

void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release) {
    checkStagedPayload(context, release, SharingRetryTimings{}, std::stop_token{});
}

void checkStagedPayload(const MaintenanceCheckContext& context, const UpdateRelease& release,
                        const SharingRetryTimings& openRetry, const std::stop_token& stopToken) {
    if (!parseSemanticVersion(release.version).valid) {
        throw std::runtime_error("Invalid cached update version");
    }
    const WidePath payload = stagedPayloadPath(context, release.version);
    const std::uint64_t size = fileSize(payload);
    // Hashing up to 2 GiB is skipped when the size already tells the file has changed.
    if (size != release.size) {
        throw std::runtime_error("Cached update payload has changed");
    }
    UniqueFileHandle file;
    const SharingRetryOutcome opened = retryWhileShared(
        [&] {
            file = openFileForReading(payload);
            return file ? 0u : failedStep(GetLastError());
        },
        openRetry, stopToken);
    if (opened.error != 0) {
        throw std::runtime_error("Unable to open file for SHA-256");
    }
    // The hash itself is never stopped: the release rule bounds the file's size.
    if (sha256FileHex(file.get(), std::stop_token{}) != release.sha256) {
        throw std::runtime_error("Cached update payload has changed");
    }
}

} // namespace ardenwick
