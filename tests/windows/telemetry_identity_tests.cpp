#include "telemetry/analytics_identity.h"

#include "support/test_profile.h"
#include "telemetry_windows_support.h"

#include <gtest/gtest.h>

#include <regex>

namespace ardenwick {
namespace {

constexpr wchar_t ArdenwickKey[] = L"Software\\Ardenwick";
const std::string Namespace = "telemetry-test";
const std::wstring DeviceKey = L"Software\\Ardenwick\\Attribution\\AppsFlyer\\telemetry-test";

std::optional<std::wstring> readText(const std::wstring& key, const wchar_t* value) {
    wchar_t buffer[1024]{};
    DWORD size = sizeof(buffer);
    if (RegGetValueW(HKEY_CURRENT_USER, testing::productKey(key).c_str(), value, RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

void writeText(const std::wstring& key, const wchar_t* value, const std::wstring& text) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, testing::productKey(key).c_str(), value, REG_SZ,
                              text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void writeDword(const std::wstring& key, const wchar_t* value, DWORD number) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, testing::productKey(key).c_str(), value, REG_DWORD, &number,
                              sizeof(number)),
              ERROR_SUCCESS);
}

bool keyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, testing::productKey(key).c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(handle);
    return true;
}

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

const std::regex DistinctIdForm("anon_[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
const std::regex DeviceIdForm("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");

class IdentityTest : public ::testing::Test {
protected:
    void SetUp() override { clean(); }
    void TearDown() override { clean(); }
    static void clean() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, testing::productKey(ArdenwickKey).c_str(),
                           L"AnalyticsDistinctId");
        RegDeleteTreeW(HKEY_CURRENT_USER, testing::productKey(DeviceKey).c_str());
    }
};

TEST_F(IdentityTest, DistinctIdIsCreatedOnceAndStored) {
    const std::string first = analyticsDistinctId();
    EXPECT_EQ(first.size(), 41u);
    EXPECT_TRUE(std::regex_match(first, DistinctIdForm)) << first;
    EXPECT_EQ(readText(ArdenwickKey, L"AnalyticsDistinctId"), wide(first));
    EXPECT_EQ(analyticsDistinctId(), first);
}

TEST_F(IdentityTest, StoredDistinctIdsAreKeptOrReplacedByTheirForm) {
    for (const std::wstring& kept :
         {std::wstring(L"anon_Custom-Value_09"), L"anon_" + std::wstring(90, L'z') /* 95 characters */}) {
        writeText(ArdenwickKey, L"AnalyticsDistinctId", kept);
        EXPECT_EQ(wide(analyticsDistinctId()), kept);
        EXPECT_EQ(readText(ArdenwickKey, L"AnalyticsDistinctId"), kept);
    }
    // No prefix, a dot, a non-ASCII letter, and 96 characters that do not fit the read buffer.
    for (const std::wstring& replaced :
         {std::wstring(L"user_123"), std::wstring(L"anon_a.b"), std::wstring(L"anon_caf\u00e9"),
          L"anon_" + std::wstring(91, L'z')}) {
        writeText(ArdenwickKey, L"AnalyticsDistinctId", replaced);
        const std::string fresh = analyticsDistinctId();
        EXPECT_TRUE(std::regex_match(fresh, DistinctIdForm)) << fresh;
        EXPECT_EQ(readText(ArdenwickKey, L"AnalyticsDistinctId"), wide(fresh));
    }
}

TEST_F(IdentityTest, ALockedAnalyticsMutexGivesAFreshUnstoredId) {
    writeText(ArdenwickKey, L"AnalyticsDistinctId", L"anon_stored");
    const testing::MutexHolder holder(testing::productMutex(L"Local\\Ardenwick.AnalyticsIdentity"));
    const std::string fresh = analyticsDistinctId();
    EXPECT_TRUE(std::regex_match(fresh, DistinctIdForm)) << fresh;
    EXPECT_EQ(readText(ArdenwickKey, L"AnalyticsDistinctId"), L"anon_stored");
    EXPECT_NE(analyticsDistinctId(), fresh);
}

TEST_F(IdentityTest, PersistWritesTheValue) {
    persistAnalyticsDistinctId("anon_persisted");
    EXPECT_EQ(readText(ArdenwickKey, L"AnalyticsDistinctId"), L"anon_persisted");
    EXPECT_EQ(analyticsDistinctId(), "anon_persisted");
}

TEST_F(IdentityTest, InstallationIdIsCreatedWhenNeitherValueExists) {
    const std::string id = installationIdentity(Namespace);
    EXPECT_TRUE(std::regex_match(id, DeviceIdForm)) << id;
    EXPECT_EQ(readText(DeviceKey, L"DeviceId"), wide(id));
    EXPECT_EQ(installationIdentity(Namespace), id);

    clean();
    writeDword(DeviceKey, L"Initialized", 0);
    const std::string again = installationIdentity(Namespace);
    EXPECT_TRUE(std::regex_match(again, DeviceIdForm)) << again;
    EXPECT_EQ(readText(DeviceKey, L"DeviceId"), wide(again));
}

TEST_F(IdentityTest, InstallationIdEdgeCasesLeaveTheRegistryAlone) {
    // Initialized but no device id: the SDK owns it, nothing is made.
    writeDword(DeviceKey, L"Initialized", 1);
    EXPECT_EQ(installationIdentity(Namespace), "");
    EXPECT_FALSE(readText(DeviceKey, L"DeviceId"));

    // A malformed stored id (upper case) is not replaced.
    clean();
    const std::wstring upper = L"0F8FAD5B-D9CB-469F-A165-70867728950E";
    writeText(DeviceKey, L"DeviceId", upper);
    EXPECT_EQ(installationIdentity(Namespace), "");
    EXPECT_EQ(readText(DeviceKey, L"DeviceId"), upper);

    // Longer than the 80-byte buffer: a read error, not a missing value.
    const std::wstring tooLong(40, L'a');
    writeText(DeviceKey, L"DeviceId", tooLong);
    EXPECT_EQ(installationIdentity(Namespace), "");
    EXPECT_EQ(readText(DeviceKey, L"DeviceId"), tooLong);

    // Dashes anywhere: only length and characters are checked.
    const std::wstring odd = L"------------------------------------";
    writeText(DeviceKey, L"DeviceId", odd);
    EXPECT_EQ(wide(installationIdentity(Namespace)), odd);

    // Bad namespaces never reach the registry.
    for (const char* bad : {"", "with space", "with/slash", "back\\slash", "caf\xc3\xa9"}) {
        EXPECT_EQ(installationIdentity(bad), "") << bad;
    }
    EXPECT_FALSE(keyExists(L"Software\\Ardenwick\\Attribution\\AppsFlyer\\with space"));
    EXPECT_FALSE(keyExists(L"Software\\Ardenwick\\Attribution\\AppsFlyer\\with"));
}

TEST_F(IdentityTest, ALockedInstallationMutexGivesNoId) {
    const testing::MutexHolder holder(testing::productMutex(L"Local\\Ardenwick.InstallationIdentity"));
    EXPECT_EQ(installationIdentity(Namespace), "");
    EXPECT_FALSE(keyExists(DeviceKey));
}

} // namespace
} // namespace ardenwick
