// Authenticode checks against real signed files. This test program is itself signed with test
// certificate A; the probe copies are signed otherwise (or not at all) to vary the running program.
#include <windows.h>

#include "common/installation_diagnostic_error.h"
#include "download/signature_verification.h"
#include "support/process_runner.h"
#include "support/verification_fixtures.h"
#include "support/wine_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

using testing::fixturePath;
using testing::messageOf;

constexpr std::uint32_t trustNoSignature = 0x800B0100;
constexpr std::uint32_t trustBadDigest = 0x80096010;
constexpr const char* mismatch = "The artifact signer does not match Ardenwick";
const std::string identityOid = "1.3.6.1.4.1.311.97.608422.3218";
constexpr const char* wineTrustReason = "Windows only: Wine's WinVerifyTrust checks only the file digest";

class Signature : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::trustTestRoot(); }

    // The result that a probe (signed with `probeSigner`, or "unsigned") writes for `artifact`.
    static std::string probe(const std::wstring& probeSigner, const std::wstring& artifact) {
        wchar_t temporary[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temporary);
        const std::filesystem::path result =
            std::filesystem::path(temporary) /
            (L"ardenwick-probe-" + std::to_wstring(GetCurrentProcessId()) + L"-" + probeSigner + L".txt");
        std::filesystem::remove(result);
        const auto exitCode = testing::runAndWait(fixturePath(L"probe_" + probeSigner + L".exe"),
                                                  testing::quoteArgument(fixturePath(artifact).wstring()) +
                                                      L" " + testing::quoteArgument(result.wstring()),
                                                  30000);
        EXPECT_EQ(exitCode, 0U);
        std::ifstream file(result, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        file.close();
        std::filesystem::remove(result);
        return text;
    }
};

std::uint32_t trustErrorOf(const std::filesystem::path& path) {
    try {
        verifyAuthenticodeTrust(path);
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "signature_trust");
        EXPECT_STREQ(error.what(), "signature_trust");
        EXPECT_FALSE(error.httpStatus.has_value());
        return error.win32Error.value_or(0xFFFFFFFF);
    }
    return 0;
}

TEST_F(Signature, TrustOfSignedUnsignedAndTamperedFiles) {
    EXPECT_EQ(trustErrorOf(fixturePath(L"good.exe")), 0U);
    EXPECT_EQ(trustErrorOf(currentExecutablePath()), 0U);
    EXPECT_EQ(trustErrorOf(fixturePath(L"good_unsigned.exe")), trustNoSignature);
    EXPECT_EQ(trustErrorOf(fixturePath(L"good_tampered.exe")), trustBadDigest);
}

TEST_F(Signature, CurrentExecutablePathIsThisProgram) {
    const std::filesystem::path path = currentExecutablePath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.filename().wstring(), L"windows_signature.exe");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST_F(Signature, ArtifactsOfTheSameSignerAreAccepted) {
    EXPECT_EQ(messageOf([] { verifySignedArtifact(fixturePath(L"good.exe")); }), "");
    // A renewed certificate: other key and bytes, the same identity usage.
    EXPECT_EQ(messageOf([] { verifySignedArtifact(fixturePath(L"good_A2.exe")); }), "");
    EXPECT_NE(readSignerIdentity(fixturePath(L"good_A2.exe")).certificateBytes,
              readSignerIdentity(fixturePath(L"good.exe")).certificateBytes);
}

TEST_F(Signature, UnsignedAndTamperedArtifactsFailTheirTrust) {
    try {
        verifySignedArtifact(fixturePath(L"good_unsigned.exe"));
        ADD_FAILURE() << "an unsigned file was accepted";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "signature_trust");
        EXPECT_EQ(error.win32Error, trustNoSignature);
    }
    try {
        verifySignedArtifact(fixturePath(L"good_tampered.exe"));
        ADD_FAILURE() << "a tampered file was accepted";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "signature_trust");
        EXPECT_EQ(error.win32Error, trustBadDigest);
    }
}

TEST_F(Signature, OtherPublisherIsRejected) {
    EXPECT_EQ(messageOf([] { verifySignedArtifact(fixturePath(L"good_B.exe")); }), mismatch);
}

TEST_F(Signature, ReadsTheSignerIdentityOfAFile) {
    const UniqueCertificateContext certificate = findSignerCertificate(fixturePath(L"good.exe"));
    ASSERT_TRUE(certificate);
    EXPECT_EQ(readEnhancedKeyUsages(certificate.get()),
              (std::vector<std::string>{"1.3.6.1.5.5.7.3.3", "1.3.6.1.4.1.311.97.1.0", identityOid}));

    const SignerIdentity a = readSignerIdentity(fixturePath(L"good.exe"));
    EXPECT_TRUE(a.hasCodeSigningUsage);
    EXPECT_EQ(a.identityUsages, std::vector<std::string>{identityOid});
    EXPECT_EQ(a.certificateBytes, readSignerIdentity(currentExecutablePath()).certificateBytes);
    ASSERT_GT(a.certificateBytes.size(), 100U);
    EXPECT_EQ(a.certificateBytes[0], 0x30); // a DER SEQUENCE

    const SignerIdentity b = readSignerIdentity(fixturePath(L"good_B.exe"));
    EXPECT_TRUE(b.hasCodeSigningUsage);
    EXPECT_TRUE(b.identityUsages.empty());

    EXPECT_EQ(messageOf([] { static_cast<void>(findSignerCertificate(fixturePath(L"good_unsigned.exe"))); }),
              "The signed artifact does not contain a supported signature");
    EXPECT_EQ(messageOf([] { static_cast<void>(readSignerIdentity(fixturePath(L"missing.exe"))); }),
              "The signed artifact does not contain a supported signature");
}

TEST_F(Signature, CertificateWithoutCodeSigningNeverMatches) {
    const SignerIdentity c = readSignerIdentity(fixturePath(L"good_C.exe"));
    EXPECT_FALSE(c.hasCodeSigningUsage);
    // It even carries A's identity usage: code signing alone keeps it out.
    EXPECT_EQ(c.identityUsages, std::vector<std::string>{identityOid});
    const SignerIdentity own = readSignerIdentity(currentExecutablePath());
    EXPECT_EQ(messageOf([&] { requireSameSigner(c, own); }), mismatch);
    EXPECT_EQ(messageOf([&] { requireSameSigner(own, c); }), mismatch);
    EXPECT_EQ(messageOf([&] { requireSameSigner(c, c); }), mismatch);
}

TEST_F(Signature, ChainRejectsALeafWithoutCodeSigning) {
    if (testing::runningUnderWine()) {
        // GoogleTest 1.12 leaves the skip message out of its JSON; scripts/check-skips reads this.
        RecordProperty("skip_reason", wineTrustReason);
        GTEST_SKIP() << wineTrustReason;
    }
    try {
        verifyAuthenticodeTrust(fixturePath(L"good_C.exe"));
        ADD_FAILURE() << "a leaf without code signing was trusted";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "signature_trust");
        EXPECT_EQ(error.win32Error, 0x800B0110U); // CERT_E_WRONG_USAGE
    }
}

TEST_F(Signature, ChainRejectsAnUntrustedRoot) {
    if (testing::runningUnderWine()) {
        // GoogleTest 1.12 leaves the skip message out of its JSON; scripts/check-skips reads this.
        RecordProperty("skip_reason", wineTrustReason);
        GTEST_SKIP() << wineTrustReason;
    }
    try {
        verifySignedArtifact(fixturePath(L"good_U.exe"));
        ADD_FAILURE() << "a certificate of an untrusted root was accepted";
    } catch (const InstallationDiagnosticError& error) {
        EXPECT_EQ(error.operation, "signature_trust");
        EXPECT_EQ(error.win32Error, 0x800B0109U); // CERT_E_UNTRUSTEDROOT
    }
}

TEST_F(Signature, ExcludedUsageOnlyMatchesTheIdenticalCertificate) {
    const SignerIdentity d = readSignerIdentity(fixturePath(L"good_D.exe"));
    EXPECT_TRUE(d.hasCodeSigningUsage);
    EXPECT_TRUE(d.identityUsages.empty());
    EXPECT_EQ(readEnhancedKeyUsages(findSignerCertificate(fixturePath(L"good_D.exe")).get()),
              (std::vector<std::string>{"1.3.6.1.5.5.7.3.3", "1.3.6.1.4.1.311.97.1.0"}));
    // The running program signed with D: the same certificate passes, another D-like one does not.
    EXPECT_EQ(probe(L"D", L"good_D.exe"), "ok");
    EXPECT_EQ(probe(L"D", L"good_D2.exe"), mismatch);
    EXPECT_EQ(probe(L"D2", L"good_D2.exe"), "ok");
    EXPECT_EQ(probe(L"D", L"good.exe"), mismatch);
    EXPECT_EQ(messageOf([] { verifySignedArtifact(fixturePath(L"good_D.exe")); }), mismatch);
}

TEST_F(Signature, IdentityAndPlainCertificatesNeverMatchInEitherDirection) {
    // Program A (identity), artifact B (plain), and the other way round.
    EXPECT_EQ(messageOf([] { verifySignedArtifact(fixturePath(L"good_B.exe")); }), mismatch);
    EXPECT_EQ(probe(L"B", L"good.exe"), mismatch);
    EXPECT_EQ(probe(L"B", L"good_A2.exe"), mismatch);
    // The probes themselves check as this program does.
    EXPECT_EQ(probe(L"B", L"good_B.exe"), "ok");
    EXPECT_EQ(probe(L"A", L"good.exe"), "ok");
    EXPECT_EQ(probe(L"A", L"good_B.exe"), mismatch);
}

TEST_F(Signature, UnsignedRunningProgramRejectsEveryArtifact) {
    // The artifact's own trust passes first; then the program's own file fails.
    EXPECT_EQ(probe(L"unsigned", L"good.exe"), "signature_trust 800b0100");
    EXPECT_EQ(probe(L"unsigned", L"good_B.exe"), "signature_trust 800b0100");
    EXPECT_EQ(probe(L"unsigned", L"good_tampered.exe"), "signature_trust 80096010");
}

} // namespace
} // namespace ardenwick
