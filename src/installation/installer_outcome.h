#pragma once

#include <functional>
#include <string>

namespace ardenwick {

enum class InstallerOutcomeKind { Success, ReportedFailure, Other };

/// What the installer run amounted to, with the texts of its "installer_process_result" event.
struct InstallerOutcome {
    InstallerOutcomeKind kind = InstallerOutcomeKind::Other;
    bool resultPresent = false;
    std::string result;
    std::string errorCode;
};

/// The five keys of the result record's "installation" section, as read (UTF-8).
struct ResultRecord {
    std::string schemaVersion;
    std::string attemptId;
    std::string result;
    std::string version;
    std::string directory;
};

/// Everything the decision rests on; the file-system facts are gathered by the caller.
struct InstallerOutcomeInputs {
    bool installedOk = false; ///< exit code 0 and a valid installed state of the installer version
    const ResultRecord* record = nullptr; ///< null when missing or larger than the bound
    std::string expectedAttemptId;
    std::string expectedVersion;
    bool applicationPathEmpty = true;
    /// Whether the application's root and the record's "directory" are one directory; asked only when
    /// every earlier identity test has passed, and may throw.
    std::function<bool()> sameDirectory;
};

/// The decision table: success needs a confirmed installation and, for a schema "1" record, the record's
/// identity; success is decided before a reported failure.
[[nodiscard]] InstallerOutcome decideInstallerOutcome(const InstallerOutcomeInputs& inputs);

/// The status operation the attempt publishes for a non-success outcome.
[[nodiscard]] std::string unsuccessfulOutcomeOperation(const InstallerOutcome& outcome);

} // namespace ardenwick
