#include "common/installation_diagnostic_error.h"
#include "download/failure_diagnostics.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

namespace ardenwick {
namespace {

TEST(FailureDiagnostics, DiagnosticErrorNamesItsOperationAndEveryKnownCode) {
    InstallationDiagnosticError error("http_read", 12030u, 206u);
    error.downloadedBytes = 524288;
    error.totalBytes = 1048576;
    error.resumedBytes = 4096;
    const EventProperties expected{
        {"downloaded_bytes", std::int64_t{524288}}, {"error_code", std::string("http_read")},
        {"http_status", std::int64_t{206}},         {"operation", std::string("http_read")},
        {"resumed_bytes", std::int64_t{4096}},      {"total_bytes", std::int64_t{1048576}},
        {"win32_error", std::int64_t{12030}}};
    EXPECT_EQ(failureDiagnosticProperties(error, "download"), expected);
}

TEST(FailureDiagnostics, AbsentCodesAreLeftOutAndZeroIsKept) {
    InstallationDiagnosticError error("http_status", std::nullopt, 404u);
    error.downloadedBytes = 0;
    error.totalBytes = 0;
    const EventProperties expected{{"downloaded_bytes", std::int64_t{0}},
                                   {"error_code", std::string("http_status")},
                                   {"http_status", std::int64_t{404}},
                                   {"operation", std::string("http_status")},
                                   {"total_bytes", std::int64_t{0}}};
    EXPECT_EQ(failureDiagnosticProperties(error, "download"), expected);

    const EventProperties bare{{"error_code", std::string("url_scheme")},
                               {"operation", std::string("url_scheme")}};
    EXPECT_EQ(failureDiagnosticProperties(InstallationDiagnosticError("url_scheme"), "download"), bare);
}

TEST(FailureDiagnostics, SystemErrorsOfTheSystemCategoryGiveTheirValue) {
    const std::system_error systemError(std::error_code(5, std::system_category()), "access");
    const EventProperties expected{{"error_code", std::string("launch")},
                                   {"operation", std::string("launch")},
                                   {"win32_error", std::int64_t{5}}};
    EXPECT_EQ(failureDiagnosticProperties(systemError, "launch"), expected);

    const std::system_error genericError(std::make_error_code(std::errc::permission_denied));
    const EventProperties defaultsOnly{{"error_code", std::string("launch")},
                                       {"operation", std::string("launch")}};
    EXPECT_EQ(failureDiagnosticProperties(genericError, "launch"), defaultsOnly);
    EXPECT_EQ(failureDiagnosticProperties(std::runtime_error("The artifact signer does not match Ardenwick"),
                                          "launch"),
              defaultsOnly);
    EXPECT_EQ(failureDiagnosticProperties(std::bad_alloc(), "launch"), defaultsOnly);
}

TEST(FailureDiagnostics, PropertiesIterateInByteOrder) {
    InstallationDiagnosticError error("x", 1u, 2u);
    error.downloadedBytes = 3;
    error.totalBytes = 4;
    error.resumedBytes = 5;
    std::string names;
    for (const auto& [name, value] : failureDiagnosticProperties(error, "d")) {
        names += name + ",";
    }
    EXPECT_EQ(names,
              "downloaded_bytes,error_code,http_status,operation,resumed_bytes,total_bytes,win32_error,");
    // Names order as unsigned bytes: a UTF-8 lead byte sorts after every ASCII letter.
    EventProperties properties{{"\xC3\xA9", true}, {"z", true}, {"A", true}};
    EXPECT_EQ(properties.begin()->first, "A");
    EXPECT_EQ(properties.rbegin()->first, "\xC3\xA9");
}

} // namespace
} // namespace ardenwick
