#pragma once

#include "installation/installation_status.h"

#include <cstdint>

namespace ardenwick {

/// What the window's taskbar button shows (the TBPF_* states the window uses).
enum class TaskbarState { None, Indeterminate, Normal, Error };

struct TaskbarProgress {
    TaskbarState state = TaskbarState::None;
    std::int32_t percent = 0; // 0-100; read only for Normal and Error

    friend bool operator==(const TaskbarProgress&, const TaskbarProgress&) = default;
};

/// The taskbar button for a status: the download's share while it is known, a pulse while the window's
/// bar is a marquee, red on a screen that offers "Try again", nothing on the final screens or while the
/// window is hidden.
[[nodiscard]] TaskbarProgress taskbarProgressFor(const InstallationStatus& status, bool windowShown) noexcept;

} // namespace ardenwick
