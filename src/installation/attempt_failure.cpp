#include "installation/attempt_failure.h"

namespace ardenwick {

std::string attemptFailureKind(std::string_view errorMessage, AttemptPhase phase) {
    if (errorMessage == "unsupported_architecture") {
        return "unsupported_architecture";
    }
    switch (phase) {
    case AttemptPhase::Download:
        return "download_failed";
    case AttemptPhase::Verification:
        return "verification_failed";
    case AttemptPhase::Preparation:
    case AttemptPhase::Process:
        break;
    }
    return "installation_failed";
}

std::string attemptStageName(AttemptPhase phase) {
    switch (phase) {
    case AttemptPhase::Download:
        return "download";
    case AttemptPhase::Verification:
        return "verification";
    case AttemptPhase::Process:
        return "process";
    case AttemptPhase::Preparation:
        break;
    }
    return "preparation";
}

std::string attemptResultEventName(AttemptPhase phase) {
    switch (phase) {
    case AttemptPhase::Download:
        return "installer_download_result";
    case AttemptPhase::Verification:
        return "installer_verification_result";
    case AttemptPhase::Process:
        return "installer_process_result";
    case AttemptPhase::Preparation:
        break;
    }
    return "bootstrapper_preparation_result";
}

} // namespace ardenwick
