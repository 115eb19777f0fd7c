#include "installation/failure_record.h"

#include <nlohmann/json.hpp>

namespace ardenwick {

std::string failureRecordText(InstallationKind kind) {
    nlohmann::ordered_json record;
    record["schemaVersion"] = 1;
    record["launchFailed"] = kind == InstallationKind::LaunchFailed;
    return record.dump();
}

SavedFailureReading readSavedFailure(std::string_view text) noexcept {
    try {
        const auto record = nlohmann::json::parse(text.begin(), text.end());
        if (!record.is_object()) {
            return SavedFailureReading::Ignore;
        }
        const auto schema = record.find("schemaVersion");
        if (schema == record.end() || !schema->is_number() || *schema != 1) {
            return SavedFailureReading::Ignore;
        }
        const auto launchFailed = record.find("launchFailed");
        if (launchFailed == record.end()) {
            return SavedFailureReading::InstallationFailed;
        }
        if (!launchFailed->is_boolean()) {
            return SavedFailureReading::FailureWithoutFlag;
        }
        return launchFailed->get<bool>() ? SavedFailureReading::LaunchFailedIfInstalled
                                         : SavedFailureReading::InstallationFailed;
    } catch (...) {
        return SavedFailureReading::Ignore;
    }
}

} // namespace ardenwick
