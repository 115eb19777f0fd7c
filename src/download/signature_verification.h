#pragma once

#include "common/wide_path.h"
#include "download/signature_handles.h"
#include "download/signature_identity.h"

#include <string>
#include <vector>

namespace ardenwick {

/// Returns when the file has a trusted Authenticode signature from the same signer as the running
/// program (which must itself be trusted); throws otherwise. The file is never modified.
void verifySignedArtifact(const WidePath& path);

/// WinVerifyTrust of one file; throws InstallationDiagnosticError("signature_trust") with the result.
void verifyAuthenticodeTrust(const WidePath& path);

/// The certificate that signed the file's embedded PKCS #7 signature.
[[nodiscard]] UniqueCertificateContext findSignerCertificate(const WidePath& path);

/// The certificate's enhanced key usage OIDs, in the order the system gives them.
[[nodiscard]] std::vector<std::string> readEnhancedKeyUsages(PCCERT_CONTEXT certificate);

[[nodiscard]] SignerIdentity readSignerIdentity(const WidePath& path);

/// Full path of the running executable.
[[nodiscard]] WidePath currentExecutablePath();

} // namespace ardenwick
