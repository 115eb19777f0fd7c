// The helper that trusts the test root CA inside the Wine prefix.
#include <windows.h>

#include <shlobj.h>

#include "download/signature_handles.h"
#include "support/process_runner.h"
#include "support/wine_host.h"
#include "test_root_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace ardenwick {
namespace {

std::filesystem::path rootCertificatePath() {
    return testing::executableDirectory() / L"test-pki" / L"root.cer";
}

/// The Root store that holds the test root during a run: an elevated run trusts it in LocalMachine's;
/// a normal one cannot write there, and the kit trusts it in CurrentUser's own (registry) store instead.
struct RunRootStore {
    DWORD location;
    LPCSTR provider;
    const char* name;
};

RunRootStore runRootStore() {
    if (IsUserAnAdmin()) {
        return {CERT_SYSTEM_STORE_LOCAL_MACHINE, CERT_STORE_PROV_SYSTEM_W, "LocalMachine"};
    }
    // The user's system store would also show LocalMachine's roots; the registry store is the user's alone.
    return {CERT_SYSTEM_STORE_CURRENT_USER, CERT_STORE_PROV_SYSTEM_REGISTRY_W, "CurrentUser"};
}

bool rootStoreHolds(const RunRootStore& where, const std::vector<BYTE>& encoded) {
    const UniqueCertificateContext wanted(
        CertCreateCertificateContext(X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size())));
    EXPECT_TRUE(wanted);
    const UniqueCertificateStore store(
        CertOpenStore(where.provider, 0, 0, where.location | CERT_STORE_READONLY_FLAG, L"Root"));
    EXPECT_TRUE(store) << where.name;
    const UniqueCertificateContext found(CertFindCertificateInStore(
        store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr));
    return found.valid();
}

TEST(TestRootStore, TrustsTheRootInTheStoreOfTheRun) {
    std::ifstream file(rootCertificatePath(), std::ios::binary);
    const std::vector<BYTE> encoded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(encoded.size(), 100U);
    testing::installTrustedRootCertificate(rootCertificatePath());
    const RunRootStore where = runRootStore();
    EXPECT_TRUE(rootStoreHolds(where, encoded)) << where.name;
    if (testing::runningUnderWine()) {
        // The root went into LocalMachine's store; the user's own store, which a normal run on Windows
        // checks, does not show it: that check sees only what the run put there.
        EXPECT_FALSE(rootStoreHolds(
            {CERT_SYSTEM_STORE_CURRENT_USER, CERT_STORE_PROV_SYSTEM_REGISTRY_W, "CurrentUser"}, encoded));
    }
    // Installing again replaces the copy without failing.
    EXPECT_NO_THROW(testing::installTrustedRootCertificate(rootCertificatePath()));
    EXPECT_THROW(testing::installTrustedRootCertificate(testing::executableDirectory() / L"missing.cer"),
                 std::runtime_error);
}

TEST(TestRootStore, CommandReportsItsOutcome) {
    const auto command = testing::executableDirectory() / L"install_test_root.exe";
    EXPECT_EQ(testing::runAndWait(command, testing::quoteArgument(rootCertificatePath().wstring()), 30000),
              0U);
    EXPECT_EQ(testing::runAndWait(command, L"missing.cer", 30000), 1U);
    EXPECT_EQ(testing::runAndWait(command, L"", 30000), 2U);
}

} // namespace
} // namespace ardenwick
