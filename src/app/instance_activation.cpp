#include "app/instance_activation.h"

#include "ui/instance_window.h"

#include <windows.h>

namespace ardenwick {
namespace {

HWND findInstanceWindow(std::uint64_t instanceKey) noexcept {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, InstallationWindowClass, nullptr)) != nullptr) {
        // The property holds the key itself; an absent property reads as 0, the normal instance's key.
        const auto key = reinterpret_cast<std::uintptr_t>(GetPropW(candidate, InstanceKeyProperty));
        if (static_cast<std::uint64_t>(key) == instanceKey) {
            return candidate;
        }
    }
    return nullptr;
}

} // namespace

bool activateRunningInstance(std::uint64_t instanceKey) noexcept {
    constexpr int passes = 50;
    constexpr DWORD passDelayMs = 100;
    for (int pass = 0; pass < passes; ++pass) {
        if (HWND window = findInstanceWindow(instanceKey)) {
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            AllowSetForegroundWindow(processId);
            PostMessageW(window, ActivateInstanceMessage, 0, 0);
            return true;
        }
        Sleep(passDelayMs);
    }
    return false;
}

} // namespace ardenwick
