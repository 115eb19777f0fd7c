#include "telemetry/analytics_identity.h"

#include "common/unique_handle.h"
#include "common/user_state.h"
#include "telemetry/posthog_metrics.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace ardenwick {

namespace {

constexpr wchar_t AnalyticsKey[] = L"Software\\Ardenwick";
constexpr wchar_t AnalyticsValue[] = L"AnalyticsDistinctId";
constexpr wchar_t AnalyticsMutex[] = L"Local\\Ardenwick.AnalyticsIdentity";
constexpr wchar_t InstallationMutex[] = L"Local\\Ardenwick.InstallationIdentity";
constexpr DWORD MutexWaitMilliseconds = 1000;
constexpr DWORD DistinctIdBufferBytes = 192;
constexpr DWORD DeviceIdBufferBytes = 80;

/// Owns a named mutex for one read-or-create sequence; releases and closes it on every path.
class IdentityLock {
public:
    explicit IdentityLock(const wchar_t* name) {
        const auto userName = userStateMutexName(name);
        if (userName) {
            mutex_.reset(CreateMutexW(nullptr, FALSE, userName->c_str()));
        }
        if (!mutex_) {
            return;
        }
        // An abandoned mutex is still ours: its previous owner died, the registry value is intact.
        const DWORD wait = WaitForSingleObject(mutex_.get(), MutexWaitMilliseconds);
        owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    IdentityLock(const IdentityLock&) = delete;
    IdentityLock& operator=(const IdentityLock&) = delete;
    ~IdentityLock() {
        if (owned_) {
            ReleaseMutex(mutex_.get());
        }
    }
    [[nodiscard]] bool owned() const noexcept { return owned_; }

private:
    UniqueKernelHandle mutex_;
    bool owned_ = false;
};

std::wstring asciiToWide(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

/// Character by character; anything above 127 gives empty text.
std::string wideToAscii(std::wstring_view text) {
    std::string result;
    for (const wchar_t c : text) {
        if (c > 127) {
            return {};
        }
        result.push_back(static_cast<char>(c));
    }
    return result;
}

bool isInstallationNamespace(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_' || c == '.';
    });
}

bool isDeviceId(std::string_view text) {
    return text.size() == 36 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-';
           });
}

LSTATUS readString(const std::wstring& productKey, const wchar_t* value, DWORD bufferBytes,
                   std::wstring& text) {
    const auto key = userRegistryKey(productKey);
    if (!key) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::wstring buffer(bufferBytes / sizeof(wchar_t), L'\0');
    DWORD size = bufferBytes;
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, key->c_str(), value, RRF_RT_REG_SZ | RRF_NOEXPAND,
                                        nullptr, buffer.data(), &size);
    if (status == ERROR_SUCCESS) {
        buffer.resize(std::min<std::size_t>(size / sizeof(wchar_t), buffer.size()));
        while (!buffer.empty() && buffer.back() == L'\0') {
            buffer.pop_back();
        }
        text = std::move(buffer);
    }
    return status;
}

bool writeString(const std::wstring& productKey, const wchar_t* value, const std::wstring& text) {
    const auto key = userRegistryKey(productKey);
    UniqueRegistryKey handle;
    if (!key || RegCreateKeyExW(HKEY_CURRENT_USER, key->c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                handle.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(handle.get(), value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          bytes) == ERROR_SUCCESS;
}

std::string freshDistinctId() {
    return "anon_" + newUuidV4();
}

} // namespace

void persistAnalyticsDistinctId(const std::string& distinctId) noexcept {
    try {
        (void)writeString(AnalyticsKey, AnalyticsValue, asciiToWide(distinctId));
    } catch (...) {
    }
}

std::string analyticsDistinctId() {
    const IdentityLock lock(AnalyticsMutex);
    if (!lock.owned()) {
        // Another process holds the identity: this process goes on with an id of its own.
        return freshDistinctId();
    }
    std::wstring stored;
    if (readString(AnalyticsKey, AnalyticsValue, DistinctIdBufferBytes, stored) == ERROR_SUCCESS &&
        !stored.empty()) {
        std::string narrow = wideToAscii(stored);
        if (isValidDistinctId(narrow)) {
            return narrow;
        }
    }
    std::string created = freshDistinctId();
    persistAnalyticsDistinctId(created);
    return created;
}

std::string installationIdentity(const std::string& installationNamespace) {
    if (!isInstallationNamespace(installationNamespace)) {
        return {};
    }
    const std::wstring key =
        L"Software\\Ardenwick\\Attribution\\AppsFlyer\\" + asciiToWide(installationNamespace);
    const IdentityLock lock(InstallationMutex);
    if (!lock.owned()) {
        return {};
    }
    std::wstring stored;
    const LSTATUS status = readString(key, L"DeviceId", DeviceIdBufferBytes, stored);
    if (status == ERROR_SUCCESS) {
        // A malformed stored id is left alone: it may belong to the attribution SDK.
        const std::string narrow = wideToAscii(stored);
        return isDeviceId(narrow) ? narrow : std::string();
    }
    if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND) {
        return {};
    }
    DWORD initialized = 0;
    DWORD size = sizeof(initialized);
    const auto userKey = userRegistryKey(key);
    if (!userKey) {
        return {};
    }
    const LSTATUS initializedStatus = RegGetValueW(HKEY_CURRENT_USER, userKey->c_str(), L"Initialized",
                                                   RRF_RT_REG_DWORD, nullptr, &initialized, &size);
    const bool mayCreate = initializedStatus == ERROR_FILE_NOT_FOUND ||
                           initializedStatus == ERROR_PATH_NOT_FOUND ||
                           (initializedStatus == ERROR_SUCCESS && initialized == 0);
    if (!mayCreate) {
        return {};
    }
    std::string created = newUuidV4();
    return writeString(key, L"DeviceId", asciiToWide(created)) ? created : std::string();
}

} // namespace ardenwick
