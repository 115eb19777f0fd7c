#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ardenwick {

/// Who signed a file, as far as the same-signer rule needs to know.
struct SignerIdentity {
    /// DER encoding of the signer's certificate.
    std::vector<std::uint8_t> certificateBytes;
    /// Usage OIDs under 1.3.6.1.4.1.311.97. (other than 1.3.6.1.4.1.311.97.1.0), sorted, unique.
    std::vector<std::string> identityUsages;
    bool hasCodeSigningUsage = false;
};

inline constexpr std::string_view codeSigningUsage = "1.3.6.1.5.5.7.3.3";
inline constexpr std::string_view identityUsagePrefix = "1.3.6.1.4.1.311.97.";
inline constexpr std::string_view excludedIdentityUsage = "1.3.6.1.4.1.311.97.1.0";

/// Builds the identity from a certificate's bytes and its enhanced key usages (in the system's order).
[[nodiscard]] SignerIdentity makeSignerIdentity(std::vector<std::uint8_t> certificateBytes,
                                                const std::vector<std::string>& enhancedKeyUsages);

/// Throws std::runtime_error("The artifact signer does not match Ardenwick") unless both allow code
/// signing and either share an identity usage, or both have none and are the same certificate.
void requireSameSigner(const SignerIdentity& artifact, const SignerIdentity& reference);

} // namespace ardenwick
