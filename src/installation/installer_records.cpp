#include "installation/installer_records.h"

#include <nlohmann/json.hpp>

namespace ardenwick {

std::string hexOfBytes(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

std::string contextRecordText(const InstallerRecordValues& values, std::int64_t createdSeconds) {
    nlohmann::ordered_json record;
    record["schemaVersion"] = 1;
    record["install_flow_id"] = values.installFlowId;
    record["attempt_id"] = values.attemptId;
    record["created"] = createdSeconds;
    for (const auto& [key, value] : values.webAttribution) {
        record[key] = value;
    }
    // Strict: an attribution value that is not UTF-8 fails here rather than producing broken JSON.
    return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

std::wstring installerCommandLine(std::wstring_view installerPath, std::wstring_view resultRecordPath) {
    std::wstring line = L"\"";
    line += installerPath;
    line += L"\" /S /ardenwickBootstrapper=1 /ardenwickInstallRecord=\"";
    line += resultRecordPath;
    line += L"\"";
    return line;
}

} // namespace ardenwick
