#pragma once

#include "ui/com_ownership.h"
#include "ui/taskbar_state.h"

#include <windows.h>

#include <shobjidl.h>

#include <optional>

namespace ardenwick {

/// The window's taskbar button as a progress bar (ITaskbarList3). The shell can take it only once it has
/// made the button and sent "TaskbarButtonCreated"; every failure of the interface leaves the button plain.
class TaskbarButton {
public:
    TaskbarButton() noexcept;
    TaskbarButton(const TaskbarButton&) = delete;
    TaskbarButton& operator=(const TaskbarButton&) = delete;
    ~TaskbarButton() = default;

    /// The registered "TaskbarButtonCreated" message, 0 where the system gave none.
    [[nodiscard]] UINT createdMessage() const noexcept { return createdMessage_; }
    /// The shell made (or remade, after Explorer restarted) `window`'s button: connect and show again.
    void buttonCreated(HWND window) noexcept;
    /// Shows `progress` on `window`'s button if it differs from what the button shows.
    void show(HWND window, const TaskbarProgress& progress) noexcept;
    /// Lets go of the shell's object; run before the window goes.
    void release() noexcept;

private:
    UINT createdMessage_ = 0;
    ComPtr<ITaskbarList3> taskbar_;
    TaskbarProgress wanted_;
    std::optional<TaskbarProgress> shown_;
};

} // namespace ardenwick
