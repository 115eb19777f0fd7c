#include "installation/installer_outcome.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace ardenwick {
namespace {

ResultRecord matchingRecord() {
    return {"1", "ATTEMPT", "success", "2.4.0", "C:\\Apps\\Ardenwick"};
}

InstallerOutcomeInputs inputsWith(const ResultRecord* record, bool installedOk, bool sameDirectory = true) {
    InstallerOutcomeInputs inputs;
    inputs.installedOk = installedOk;
    inputs.record = record;
    inputs.expectedAttemptId = "ATTEMPT";
    inputs.expectedVersion = "2.4.0";
    inputs.applicationPathEmpty = false;
    inputs.sameDirectory = [sameDirectory] { return sameDirectory; };
    return inputs;
}

void expectOutcome(const InstallerOutcome& outcome, InstallerOutcomeKind kind, const char* result,
                   const char* errorCode, const char* operation) {
    EXPECT_EQ(outcome.kind, kind);
    EXPECT_EQ(outcome.result, result);
    EXPECT_EQ(outcome.errorCode, errorCode);
    if (kind != InstallerOutcomeKind::Success) {
        EXPECT_EQ(unsuccessfulOutcomeOperation(outcome), operation);
    }
}

TEST(InstallerOutcome, SuccessNeedsAConfirmedInstallAndAMatchingRecord) {
    const ResultRecord record = matchingRecord();
    expectOutcome(decideInstallerOutcome(inputsWith(&record, true)), InstallerOutcomeKind::Success, "success",
                  "none", "");
    expectOutcome(decideInstallerOutcome(inputsWith(nullptr, true)), InstallerOutcomeKind::Success, "success",
                  "none", "");
    // Installed, but the record speaks of another attempt, version or directory.
    for (auto change :
         {+[](ResultRecord& r) { r.attemptId = "OTHER"; }, +[](ResultRecord& r) { r.version = "2.4.1"; },
          +[](ResultRecord& r) { r.result = "succeeded"; }}) {
        ResultRecord other = matchingRecord();
        change(other);
        expectOutcome(decideInstallerOutcome(inputsWith(&other, true)), InstallerOutcomeKind::Other,
                      "unknown", "installed_state_unconfirmed", "nsis_result_unknown");
    }
    expectOutcome(decideInstallerOutcome(inputsWith(&record, true, false)), InstallerOutcomeKind::Other,
                  "unknown", "installed_state_unconfirmed", "nsis_result_unknown");
    auto emptyPath = inputsWith(&record, true);
    emptyPath.applicationPathEmpty = true;
    expectOutcome(decideInstallerOutcome(emptyPath), InstallerOutcomeKind::Other, "unknown",
                  "installed_state_unconfirmed", "nsis_result_unknown");
}

TEST(InstallerOutcome, ReportedFailureAndUnconfirmedResults) {
    ResultRecord cancelled = matchingRecord();
    cancelled.result = "cancelled";
    expectOutcome(decideInstallerOutcome(inputsWith(&cancelled, false)),
                  InstallerOutcomeKind::ReportedFailure, "failure", "nsis_reported_failure",
                  "installation_failed");
    expectOutcome(decideInstallerOutcome(inputsWith(&cancelled, true)), InstallerOutcomeKind::ReportedFailure,
                  "failure", "nsis_reported_failure", "installation_failed");
    ResultRecord failure = matchingRecord();
    failure.result = "failure";
    expectOutcome(decideInstallerOutcome(inputsWith(&failure, false)), InstallerOutcomeKind::ReportedFailure,
                  "failure", "nsis_reported_failure", "installation_failed");
    ResultRecord upperCase = matchingRecord();
    upperCase.result = "Failure";
    expectOutcome(decideInstallerOutcome(inputsWith(&upperCase, false)), InstallerOutcomeKind::Other,
                  "unknown", "installed_state_unconfirmed", "nsis_result_unknown");
    // A record saying success while the exit code or the installed state says otherwise.
    const ResultRecord success = matchingRecord();
    expectOutcome(decideInstallerOutcome(inputsWith(&success, false)), InstallerOutcomeKind::Other, "unknown",
                  "installed_state_unconfirmed", "nsis_result_unknown");
    expectOutcome(decideInstallerOutcome(inputsWith(nullptr, false)), InstallerOutcomeKind::Other, "unknown",
                  "nsis_preinit_unknown", "nsis_preinit_unknown");
    ResultRecord noResult = matchingRecord();
    noResult.result.clear();
    expectOutcome(decideInstallerOutcome(inputsWith(&noResult, false)), InstallerOutcomeKind::Other,
                  "unknown", "nsis_preinit_unknown", "nsis_preinit_unknown");
}

TEST(InstallerOutcome, OnlySchemaOneIsComparedAndOnlyAsFarAsNeeded) {
    ResultRecord schemaTwo = matchingRecord();
    schemaTwo.schemaVersion = "2";
    schemaTwo.attemptId = "OTHER";
    auto inputs = inputsWith(&schemaTwo, true);
    inputs.sameDirectory = []() -> bool { throw std::runtime_error("must not be asked"); };
    expectOutcome(decideInstallerOutcome(inputs), InstallerOutcomeKind::Success, "success", "none", "");

    ResultRecord otherAttempt = matchingRecord();
    otherAttempt.attemptId = "OTHER";
    auto stopsEarly = inputsWith(&otherAttempt, true);
    stopsEarly.sameDirectory = []() -> bool { throw std::runtime_error("must not be asked"); };
    EXPECT_NO_THROW((void)decideInstallerOutcome(stopsEarly));

    const ResultRecord record = matchingRecord();
    auto failingComparison = inputsWith(&record, true);
    failingComparison.sameDirectory = []() -> bool { throw std::runtime_error("directory_identity"); };
    EXPECT_THROW((void)decideInstallerOutcome(failingComparison), std::runtime_error);
}

} // namespace
} // namespace ardenwick
