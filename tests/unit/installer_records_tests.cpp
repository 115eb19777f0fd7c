#include "installation/failure_record.h"
#include "installation/installer_records.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

TEST(InstallerRecords, HexContextRecordAndCommandLineBytes) {
    EXPECT_EQ(hexOfBytes("abc"), "616263");
    EXPECT_EQ(hexOfBytes(""), "");
    EXPECT_EQ(hexOfBytes("\xC3\xA7\x00\xFF"), "c3a7");
    EXPECT_EQ(hexOfBytes(std::string("\xC3\xA7\x00\xFF", 4)), "c3a700ff");

    InstallerRecordValues values;
    values.installFlowId = "FLOW";
    values.attemptId = "ATTEMPT";
    values.anonymousId = "not in the context record";
    values.webAttribution = {{"utm_source", "caf\xC3\xA9 \"news\""}, {"gclid", "x/y"}};
    EXPECT_EQ(
        contextRecordText(values, 1765000000),
        "{\"schemaVersion\":1,\"install_flow_id\":\"FLOW\",\"attempt_id\":\"ATTEMPT\",\"created\":1765000000,"
        "\"gclid\":\"x/y\",\"utm_source\":\"caf\xC3\xA9 \\\"news\\\"\"}");

    EXPECT_EQ(installerCommandLine(L"C:\\S\\A B\\setup.exe", L"C:\\S\\A B\\result.ini"),
              L"\"C:\\S\\A B\\setup.exe\" /S /ardenwickBootstrapper=1 /ardenwickInstallRecord=\"C:\\S\\A "
              L"B\\result.ini\"");
}

TEST(FailureRecord, TextAndEveryWayOfReadingItBack) {
    EXPECT_EQ(failureRecordText(InstallationKind::LaunchFailed),
              "{\"schemaVersion\":1,\"launchFailed\":true}");
    EXPECT_EQ(failureRecordText(InstallationKind::ResultUnknown),
              "{\"schemaVersion\":1,\"launchFailed\":false}");
    EXPECT_EQ(failureRecordText(InstallationKind::UpdateFailed),
              "{\"schemaVersion\":1,\"launchFailed\":false}");

    EXPECT_EQ(readSavedFailure(failureRecordText(InstallationKind::LaunchFailed)),
              SavedFailureReading::LaunchFailedIfInstalled);
    EXPECT_EQ(readSavedFailure(failureRecordText(InstallationKind::InstallationFailed)),
              SavedFailureReading::InstallationFailed);
    EXPECT_EQ(readSavedFailure(R"({"schemaVersion":1})"), SavedFailureReading::InstallationFailed);
    EXPECT_EQ(readSavedFailure(R"({"schemaVersion":1,"launchFailed":"true"})"),
              SavedFailureReading::FailureWithoutFlag);
    EXPECT_EQ(readSavedFailure(R"({"schemaVersion":1,"launchFailed":null})"),
              SavedFailureReading::FailureWithoutFlag);
    for (const char* ignored : {R"({"schemaVersion":2,"launchFailed":true})", R"({"launchFailed":true})",
                                R"({"schemaVersion":"1"})", R"([1])", "", "{", "{\"schemaVersion\":1,}",
                                "/* c */{\"schemaVersion\":1}", "{\"schemaVersion\":1}trailing"}) {
        EXPECT_EQ(readSavedFailure(ignored), SavedFailureReading::Ignore) << ignored;
    }
}

} // namespace
} // namespace ardenwick
