#include <windows.h>

#include "test_root_store.h"

#include "download/signature_handles.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardenwick::testing {
namespace {

bool trustedAlready(const std::vector<BYTE>& encoded) {
    const UniqueCertificateContext wanted(::CertCreateCertificateContext(X509_ASN_ENCODING, encoded.data(),
                                                                         static_cast<DWORD>(encoded.size())));
    const UniqueCertificateStore store(::CertOpenStore(
        CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_READONLY_FLAG, L"Root"));
    if (!wanted || !store) {
        return false;
    }
    const UniqueCertificateContext found(::CertFindCertificateInStore(
        store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr));
    return found.valid();
}

} // namespace

void installTrustedRootCertificate(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<BYTE> encoded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (encoded.empty()) {
        throw std::runtime_error("Unable to read the test root certificate " + path.string());
    }
    // On Windows the test kit trusts the root for the whole run (elevated, in LocalMachine; otherwise in
    // CurrentUser, where each change asks the user), and the user's view of "Root" includes both.
    if (trustedAlready(encoded)) {
        return;
    }
    UniqueCertificateStore store(
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root"));
    if (!store) {
        const DWORD error = ::GetLastError();
        throw std::runtime_error("Unable to open the LocalMachine Root store: " + std::to_string(error));
    }
    if (!::CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, encoded.data(),
                                            static_cast<DWORD>(encoded.size()),
                                            CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        const DWORD error = ::GetLastError();
        throw std::runtime_error("Unable to add the test root certificate: " + std::to_string(error));
    }
}

} // namespace ardenwick::testing
