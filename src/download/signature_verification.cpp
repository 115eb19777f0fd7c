#include "download/signature_verification.h"

#include "common/installation_diagnostic_error.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace ardenwick {
namespace {

// WINTRUST_DATA as the current SDK defines it: mingw-w64's header stops before pSignatureSettings and
// gives 80 bytes, while the call is specified with the 88-byte form.
struct WintrustData {
    DWORD cbStruct;
    void* pPolicyCallbackData;
    void* pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    WINTRUST_FILE_INFO* pFile;
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    void* pSignatureSettings;
};
static_assert(sizeof(WintrustData) == 88);
static_assert(offsetof(WintrustData, dwUnionChoice) == 32);
static_assert(offsetof(WintrustData, pFile) == 40);
static_assert(offsetof(WintrustData, dwStateAction) == 48);
static_assert(offsetof(WintrustData, hWVTStateData) == 56);
static_assert(offsetof(WintrustData, dwProvFlags) == 72);
static_assert(offsetof(WintrustData, pSignatureSettings) == 80);
static_assert(sizeof(WINTRUST_FILE_INFO) == 32);
// A usage answer of 15 bytes or less cannot even hold the header.
static_assert(sizeof(CERT_ENHKEY_USAGE) == 16);

constexpr DWORD safeCacheOnlyFlags = WTD_SAFER_FLAG | WTD_CACHE_ONLY_URL_RETRIEVAL;
static_assert(safeCacheOnlyFlags == 0x1100);

// Releases the state that a verifying WinVerifyTrust call keeps, on every path.
class TrustStateCloser {
public:
    TrustStateCloser(GUID& action, WintrustData& data) noexcept : action_(action), data_(data) {}
    TrustStateCloser(const TrustStateCloser&) = delete;
    TrustStateCloser& operator=(const TrustStateCloser&) = delete;
    ~TrustStateCloser() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        static_cast<void>(::WinVerifyTrust(nullptr, &action_, &data_));
    }

private:
    GUID& action_;
    WintrustData& data_;
};

// Memory for CryptoAPI structures that hold pointers: suitably aligned, zeroed.
class AlignedBuffer {
public:
    explicit AlignedBuffer(DWORD size) : words_((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t)) {}
    [[nodiscard]] void* data() noexcept { return words_.data(); }

private:
    std::vector<std::uint64_t> words_;
};

} // namespace

WidePath currentExecutablePath() {
    constexpr DWORD capacity = 32768;
    std::wstring buffer(capacity, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), capacity);
    if (length == 0 || length == capacity) {
        throw std::runtime_error("Unable to resolve the ZidizuDavi executable");
    }
    buffer.resize(length);
    return WidePath(buffer);
}

void verifyAuthenticodeTrust(const WidePath& path) {
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(WINTRUST_FILE_INFO);
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = nullptr;
    fileInfo.pgKnownSubject = nullptr;

    WintrustData data{};
    data.cbStruct = sizeof(WintrustData);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = safeCacheOnlyFlags;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = 0;
    {
        TrustStateCloser closer(action, data);
        result = ::WinVerifyTrust(nullptr, &action, &data);
    }
    if (result != 0) {
        throw InstallationDiagnosticError("signature_trust", static_cast<std::uint32_t>(result));
    }
}

UniqueCertificateContext findSignerCertificate(const WidePath& path) {
    UniqueCertificateStore store;
    UniqueCryptMessage message;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, store.put(),
                            message.put(), nullptr)) {
        throw std::runtime_error("The signed artifact does not contain a supported signature");
    }

    DWORD size = 0;
    if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) {
        throw std::runtime_error("Unable to read the artifact signer");
    }
    AlignedBuffer signerBuffer(size);
    if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, signerBuffer.data(), &size)) {
        throw std::runtime_error("Unable to read the artifact signer");
    }
    const auto* signer = static_cast<const CMSG_SIGNER_INFO*>(signerBuffer.data());

    CERT_INFO certificateInfo{};
    certificateInfo.Issuer = signer->Issuer;
    certificateInfo.SerialNumber = signer->SerialNumber;
    UniqueCertificateContext certificate(
        ::CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                     CERT_FIND_SUBJECT_CERT, &certificateInfo, nullptr));
    if (!certificate) {
        throw std::runtime_error("Unable to find the artifact signer certificate");
    }
    // The context keeps its own reference to the store; message and store are closed here.
    return certificate;
}

std::vector<std::string> readEnhancedKeyUsages(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size) || size < sizeof(CERT_ENHKEY_USAGE)) {
        throw std::runtime_error("Artifact signer usage is unavailable");
    }
    AlignedBuffer usageBuffer(size);
    auto* usage = static_cast<CERT_ENHKEY_USAGE*>(usageBuffer.data());
    if (!::CertGetEnhancedKeyUsage(certificate, 0, usage, &size)) {
        throw std::runtime_error("Artifact signer usage is unavailable");
    }
    std::vector<std::string> usages;
    usages.reserve(usage->cUsageIdentifier);
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
        usages.emplace_back(usage->rgpszUsageIdentifier[i]);
    }
    return usages;
}

SignerIdentity readSignerIdentity(const WidePath& path) {
    const UniqueCertificateContext certificate = findSignerCertificate(path);
    const std::vector<std::string> usages = readEnhancedKeyUsages(certificate.get());
    const BYTE* encoded = certificate.get()->pbCertEncoded;
    std::vector<std::uint8_t> bytes(encoded, encoded + certificate.get()->cbCertEncoded);
    return makeSignerIdentity(std::move(bytes), usages);
}

void verifySignedArtifact(const WidePath& path) {
    const WidePath ownPath = currentExecutablePath();
    verifyAuthenticodeTrust(path);
    verifyAuthenticodeTrust(ownPath);
    const SignerIdentity artifact = readSignerIdentity(path);
    const SignerIdentity own = readSignerIdentity(ownPath);
    requireSameSigner(artifact, own);
}

} // namespace ardenwick
