#include "download/signature_identity.h"

#include <algorithm>
#include <stdexcept>

namespace ardenwick {

SignerIdentity makeSignerIdentity(std::vector<std::uint8_t> certificateBytes,
                                  const std::vector<std::string>& enhancedKeyUsages) {
    SignerIdentity identity;
    identity.certificateBytes = std::move(certificateBytes);
    for (const std::string& usage : enhancedKeyUsages) {
        if (usage == codeSigningUsage) {
            identity.hasCodeSigningUsage = true;
        }
        // The bare prefix is no identity; 1.3.6.1.4.1.311.97.1.0 is carried by every managed-signing
        // certificate and so names nobody.
        if (usage.size() > identityUsagePrefix.size() && usage.starts_with(identityUsagePrefix) &&
            usage != excludedIdentityUsage) {
            identity.identityUsages.push_back(usage);
        }
    }
    std::sort(identity.identityUsages.begin(), identity.identityUsages.end());
    identity.identityUsages.erase(std::unique(identity.identityUsages.begin(), identity.identityUsages.end()),
                                  identity.identityUsages.end());
    return identity;
}

namespace {

bool shareAnIdentity(const std::vector<std::string>& left, const std::vector<std::string>& right) {
    // The lists are a handful of OIDs; a plain search also holds for records not built here.
    return std::any_of(left.begin(), left.end(), [&right](const std::string& usage) {
        return std::find(right.begin(), right.end(), usage) != right.end();
    });
}

bool matches(const SignerIdentity& artifact, const SignerIdentity& reference) {
    if (!artifact.hasCodeSigningUsage || !reference.hasCodeSigningUsage) {
        return false;
    }
    const bool artifactManaged = !artifact.identityUsages.empty();
    const bool referenceManaged = !reference.identityUsages.empty();
    if (!artifactManaged && !referenceManaged) {
        return artifact.certificateBytes == reference.certificateBytes;
    }
    if (artifactManaged && referenceManaged) {
        return shareAnIdentity(artifact.identityUsages, reference.identityUsages);
    }
    // A managed identity never matches a plain certificate, in either direction.
    return false;
}

} // namespace

void requireSameSigner(const SignerIdentity& artifact, const SignerIdentity& reference) {
    if (!matches(artifact, reference)) {
        throw std::runtime_error("The artifact signer does not match Ardenwick");
    }
}

} // namespace ardenwick
