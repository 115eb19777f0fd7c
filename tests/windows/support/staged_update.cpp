#include "support/staged_update.h"

#include "download/file_hash.h"
#include "support/test_files.h"

#include <filesystem>
#include <string>

namespace ardenwick::testing {

nlohmann::json stageStandInUpdate(const std::filesystem::path& root, std::size_t payloadBytes) {
    const auto payload = root / L"staging" / L"2.4.0" / L"payload.zip";
    writeFile(payload, std::string(payloadBytes, 'p'));
    const nlohmann::json release = {
        {"releaseChannel", "stable"},
        {"version", "2.4.0"},
        {"minimumLauncherVersion", "1.0.0"},
        {"publishedAtUtc", "2026-12-01T12:00:00Z"},
        {"payload",
         {{"url", "https://downloads.ardenwick.app/windows/x64/2.4.0/Ardenwick-2.4.0-windows-x64.zip"},
          {"size", payloadBytes},
          {"sha256", sha256FileHex(payload, {})}}}};
    return {{"schemaVersion", 2}, {"environment", "prod"}, {"architecture", "x64"}, {"releases", {release}}};
}

} // namespace ardenwick::testing
