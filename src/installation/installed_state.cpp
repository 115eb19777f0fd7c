#include "installation/installed_state.h"

#include "app/absolute_path.h"
#include "download/signature_verification.h"
#include "installation/version_text.h"
#include "maintenance/maintenance_checks.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

namespace ardenwick {
namespace {

constexpr std::uintmax_t MaxActivationFileBytes = 65536;

} // namespace

bool validateInstalledState(const std::filesystem::path& applicationPath,
                            std::string_view requiredVersion) noexcept {
    try {
        if (applicationPath.empty() || !isAbsolutePath(applicationPath.wstring())) {
            return false;
        }
        const std::filesystem::path root = applicationPath.parent_path();
        const std::filesystem::path activationFile = root / L"state" / L"activation.json";
        const std::uintmax_t size = std::filesystem::file_size(activationFile);
        if (size > MaxActivationFileBytes) {
            return false;
        }
        std::ifstream in(activationFile, std::ios::binary);
        std::string text(static_cast<std::size_t>(size), '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));

        const auto activation = nlohmann::json::parse(text);
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
        const std::filesystem::path executable =
            root / L"versions" / std::filesystem::path(std::wstring(version.begin(), version.end())) /
            L"app" / L"Ardenwick.exe";
        if (!std::filesystem::is_regular_file(executable)) {
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
