#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace ardenwick::testing {

/// Sets an HKCU value for the length of a test and puts back whatever was there before.
class ScopedRegistryValue {
public:
    ScopedRegistryValue(std::wstring keyPath, std::wstring valueName);
    ScopedRegistryValue(const ScopedRegistryValue&) = delete;
    ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;
    ~ScopedRegistryValue();

    void setString(const std::wstring& value, DWORD type = REG_SZ);
    void setRaw(DWORD type, const std::vector<BYTE>& bytes);
    void remove();

private:
    std::wstring keyPath_;
    std::wstring valueName_;
    std::optional<std::pair<DWORD, std::vector<BYTE>>> original_;
};

} // namespace ardenwick::testing
