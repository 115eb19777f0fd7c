#include "installation/installed_state.h"

#include "common/absolute_path.h"
#include "common/version_text.h"
#include "common/win32_file.h"
#include "download/signature_verification.h"
#include "download/versioned_executable.h"

#include <nlohmann/json.hpp>

#include <string>

namespace ardenwick {
namespace {

constexpr std::uintmax_t MaxActivationFileBytes = 65536;

} // namespace

bool validateInstalledState(const WidePath& applicationPath, std::string_view requiredVersion) noexcept {
    try {
        if (applicationPath.empty() || !isAbsolutePath(applicationPath.wstring())) {
            return false;
        }
        const WidePath root = applicationPath.parent_path();
        const WidePath activationFile = root / L"state" / L"activation.json";
        // Refuses a file above the bound, also one that grows while it is read.
        const FileBytes text = readFileBounded(activationFile, MaxActivationFileBytes);
        if (!text.ok()) {
            return false;
        }

        const auto activation = nlohmann::json::parse(text.bytes);
        if (!activation.is_object()) {
            return false;
        }
        const auto activeVersion = activation.find("activeVersion");
        const auto schemaVersion = activation.find("schemaVersion");
        if (activeVersion == activation.end() || !activeVersion->is_string() ||
            schemaVersion == activation.end() || !schemaVersion->is_number() || *schemaVersion != 2) {
            return false;
        }
        const std::string version = activeVersion->get<std::string>();
        if (!isVersionText(version)) {
            return false;
        }
        if (!requiredVersion.empty() && version != requiredVersion) {
            return false;
        }
        const WidePath executable =
            root / L"versions" / std::wstring(version.begin(), version.end()) / L"app" / L"Ardenwick.exe";
        if (!isRegularFile(executable)) {
            return false;
        }
        verifySignedArtifact(applicationPath);
        verifyVersionedExecutable(executable, version);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace ardenwick
