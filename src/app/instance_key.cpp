#include "app/instance_key.h"

namespace ardenwick {

std::uint64_t fnv1a64Utf16(std::u16string_view text) noexcept {
    constexpr std::uint64_t offsetBasis = 0xCBF29CE484222325ULL;
    constexpr std::uint64_t prime = 0x100000001B3ULL;
    std::uint64_t hash = offsetBasis;
    for (char16_t unit : text) {
        hash = (hash ^ static_cast<std::uint8_t>(unit & 0xFF)) * prime;
        hash = (hash ^ static_cast<std::uint8_t>(unit >> 8)) * prime;
    }
    return hash;
}

std::uint64_t maintenanceInstanceKey(std::u16string_view installationRoot) noexcept {
    return fnv1a64Utf16(installationRoot) | 1U;
}

std::wstring instanceMutexName(std::wstring_view userSid, std::optional<std::uint64_t> maintenanceKey) {
    std::wstring name = L"Global\\Ardenwick.Installation.";
    name += userSid;
    if (maintenanceKey) {
        name += L".Maintenance.";
        name += std::to_wstring(*maintenanceKey);
    }
    return name;
}

} // namespace ardenwick
