#include "support/registry_value.h"

#include "common/unique_handle.h"

#include <stdexcept>

namespace ardenwick::testing {
namespace {

UniqueRegistryKey openKey(const std::wstring& path) {
    UniqueRegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open the test registry key");
    }
    return key;
}

} // namespace

ScopedRegistryValue::ScopedRegistryValue(std::wstring keyPath, std::wstring valueName)
    : keyPath_(std::move(keyPath)), valueName_(std::move(valueName)) {
    UniqueRegistryKey key = openKey(keyPath_);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), valueName_.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> bytes(size);
        RegQueryValueExW(key.get(), valueName_.c_str(), nullptr, &type, bytes.data(), &size);
        bytes.resize(size);
        original_ = std::make_pair(type, std::move(bytes));
    }
}

ScopedRegistryValue::~ScopedRegistryValue() {
    try {
        if (original_) {
            setRaw(original_->first, original_->second);
        } else {
            remove();
        }
    } catch (...) {
    }
}

void ScopedRegistryValue::setString(const std::wstring& value, DWORD type) {
    const auto* begin = reinterpret_cast<const BYTE*>(value.c_str());
    setRaw(type, std::vector<BYTE>(begin, begin + (value.size() + 1) * sizeof(wchar_t)));
}

void ScopedRegistryValue::setRaw(DWORD type, const std::vector<BYTE>& bytes) {
    UniqueRegistryKey key = openKey(keyPath_);
    if (RegSetValueExW(key.get(), valueName_.c_str(), 0, type, bytes.data(),
                       static_cast<DWORD>(bytes.size())) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot set the test registry value");
    }
}

void ScopedRegistryValue::remove() {
    UniqueRegistryKey key = openKey(keyPath_);
    RegDeleteValueW(key.get(), valueName_.c_str());
}

} // namespace ardenwick::testing
