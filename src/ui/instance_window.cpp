#include "ui/instance_window.h"

namespace ardenwick {

bool markInstanceWindow(HWND window, std::uint64_t instanceKey) noexcept {
    // The property's data is the key itself (a 64-bit handle-sized value), not a pointer to it.
    return SetPropW(window, InstanceKeyProperty,
                    reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(instanceKey))) != FALSE;
}

} // namespace ardenwick
