#include "installation/installer_outcome.h"

namespace ardenwick {

InstallerOutcome decideInstallerOutcome(const InstallerOutcomeInputs& inputs) {
    InstallerOutcome outcome;
    bool reportedFailure = false;
    bool mismatch = false;
    if (inputs.record != nullptr) {
        const ResultRecord& record = *inputs.record;
        outcome.resultPresent = !record.result.empty();
        reportedFailure = record.result == "failure" || record.result == "cancelled";
        if (record.schemaVersion == "1") {
            mismatch = !(record.attemptId == inputs.expectedAttemptId &&
                         record.version == inputs.expectedVersion && record.result == "success" &&
                         !inputs.applicationPathEmpty && inputs.sameDirectory && inputs.sameDirectory());
        }
    }
    if (inputs.installedOk && !mismatch) {
        outcome.kind = InstallerOutcomeKind::Success;
        outcome.result = "success";
        outcome.errorCode = "none";
    } else if (reportedFailure) {
        outcome.kind = InstallerOutcomeKind::ReportedFailure;
        outcome.result = "failure";
        outcome.errorCode = "nsis_reported_failure";
    } else if (outcome.resultPresent) {
        outcome.result = "unknown";
        outcome.errorCode = "installed_state_unconfirmed";
    } else {
        outcome.result = "unknown";
        outcome.errorCode = "nsis_preinit_unknown";
    }
    return outcome;
}

std::string unsuccessfulOutcomeOperation(const InstallerOutcome& outcome) {
    if (outcome.kind == InstallerOutcomeKind::ReportedFailure) {
        return "installation_failed";
    }
    return outcome.resultPresent ? "nsis_result_unknown" : "nsis_preinit_unknown";
}

} // namespace ardenwick
