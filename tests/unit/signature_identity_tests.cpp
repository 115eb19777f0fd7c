#include "download/signature_identity.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

const std::string identityOne = "1.3.6.1.4.1.311.97.608422.3218";
const std::string identityTwo = "1.3.6.1.4.1.311.97.77.1";
const std::string codeSigning = "1.3.6.1.5.5.7.3.3";
const std::string excluded = "1.3.6.1.4.1.311.97.1.0";

SignerIdentity identity(std::vector<std::uint8_t> bytes, std::vector<std::string> usages,
                        bool codeSigningUsage) {
    SignerIdentity result;
    result.certificateBytes = std::move(bytes);
    result.identityUsages = std::move(usages);
    result.hasCodeSigningUsage = codeSigningUsage;
    return result;
}

std::string mismatchOf(const SignerIdentity& artifact, const SignerIdentity& reference) {
    try {
        requireSameSigner(artifact, reference);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

constexpr const char* mismatch = "The artifact signer does not match Ardenwick";

TEST(SignerIdentity, KeepsOnlyIdentityUsagesSortedAndUnique) {
    const SignerIdentity built =
        makeSignerIdentity({1, 2, 3}, {identityTwo, "1.3.6.1.5.5.7.3.1", excluded, identityOne, identityTwo,
                                       "1.3.6.1.4.1.311.97.", "1.3.6.1.4.1.311.9.1", "1.3.6.1.4.1.311.970.1",
                                       "1.3.6.1.4.1.311.97.1.0.5", codeSigning});
    EXPECT_EQ(built.certificateBytes, (std::vector<std::uint8_t>{1, 2, 3}));
    // Byte order: "1.3.6.1.4.1.311.97.1.0.5" < "...97.608422.3218" < "...97.77.1".
    EXPECT_EQ(built.identityUsages,
              (std::vector<std::string>{"1.3.6.1.4.1.311.97.1.0.5", identityOne, identityTwo}));
    EXPECT_TRUE(built.hasCodeSigningUsage);
}

TEST(SignerIdentity, CodeSigningUsageIsComparedExactly) {
    EXPECT_FALSE(makeSignerIdentity({}, {"1.3.6.1.5.5.7.3.3.1", "1.3.6.1.5.5.7.3.30", " 1.3.6.1.5.5.7.3.3"})
                     .hasCodeSigningUsage);
    EXPECT_FALSE(makeSignerIdentity({}, {}).hasCodeSigningUsage);
    const SignerIdentity onlyExcluded = makeSignerIdentity({9}, {excluded, codeSigning});
    EXPECT_TRUE(onlyExcluded.identityUsages.empty());
    EXPECT_TRUE(onlyExcluded.hasCodeSigningUsage);
}

TEST(RequireSameSigner, BothNeedCodeSigning) {
    const auto plain = identity({1, 2, 3}, {}, true);
    const auto plainNoCodeSigning = identity({1, 2, 3}, {}, false);
    EXPECT_EQ(mismatchOf(plainNoCodeSigning, plain), mismatch);
    EXPECT_EQ(mismatchOf(plain, plainNoCodeSigning), mismatch);
    EXPECT_EQ(mismatchOf(plainNoCodeSigning, plainNoCodeSigning), mismatch);

    const auto managed = identity({4}, {identityOne}, true);
    const auto managedNoCodeSigning = identity({4}, {identityOne}, false);
    EXPECT_EQ(mismatchOf(managedNoCodeSigning, managed), mismatch);
    EXPECT_EQ(mismatchOf(managed, managedNoCodeSigning), mismatch);
}

TEST(RequireSameSigner, PlainCertificatesMatchOnlyByteForByte) {
    EXPECT_NO_THROW(requireSameSigner(identity({1, 2, 3}, {}, true), identity({1, 2, 3}, {}, true)));
    EXPECT_EQ(mismatchOf(identity({1, 2, 3}, {}, true), identity({1, 2, 4}, {}, true)), mismatch);
    EXPECT_EQ(mismatchOf(identity({1, 2}, {}, true), identity({1, 2, 3}, {}, true)), mismatch);
    EXPECT_EQ(mismatchOf(identity({1, 2, 3}, {}, true), identity({1, 2}, {}, true)), mismatch);
    EXPECT_EQ(mismatchOf(identity({}, {}, true), identity({0}, {}, true)), mismatch);
}

TEST(RequireSameSigner, ManagedCertificatesMatchByASharedIdentity) {
    // A renewed certificate: other bytes, the same identity.
    EXPECT_NO_THROW(
        requireSameSigner(identity({1}, {identityOne}, true), identity({2, 2}, {identityOne}, true)));
    EXPECT_NO_THROW(requireSameSigner(identity({1}, {identityOne, identityTwo}, true),
                                      identity({2}, {identityTwo}, true)));
    // Lists built by hand need not be sorted.
    EXPECT_NO_THROW(requireSameSigner(identity({1}, {identityTwo, identityOne}, true),
                                      identity({2}, {"1.3.6.1.4.1.311.97.9", identityOne}, true)));
    EXPECT_EQ(mismatchOf(identity({1}, {identityOne}, true), identity({1}, {identityTwo}, true)), mismatch);
}

TEST(RequireSameSigner, ManagedNeverMatchesPlainInEitherDirection) {
    const auto managed = identity({7, 7, 7}, {identityOne}, true);
    const auto plainSameBytes = identity({7, 7, 7}, {}, true);
    EXPECT_EQ(mismatchOf(managed, plainSameBytes), mismatch);
    EXPECT_EQ(mismatchOf(plainSameBytes, managed), mismatch);
}

TEST(RequireSameSigner, ExcludedUsageAloneLeavesCertificatesPlain) {
    const auto d = makeSignerIdentity({5, 5}, {codeSigning, excluded});
    const auto dRenewed = makeSignerIdentity({5, 6}, {codeSigning, excluded});
    EXPECT_NO_THROW(requireSameSigner(d, makeSignerIdentity({5, 5}, {excluded, codeSigning})));
    EXPECT_EQ(mismatchOf(d, dRenewed), mismatch);
    // A certificate that differs only by the excluded usage is the same plain certificate.
    EXPECT_NO_THROW(requireSameSigner(d, makeSignerIdentity({5, 5}, {codeSigning})));
}

} // namespace
} // namespace ardenwick
