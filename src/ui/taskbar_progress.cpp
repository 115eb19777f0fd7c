#include "ui/taskbar_progress.h"

namespace ardenwick {
namespace {

constexpr GUID TaskbarListClass{0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};
constexpr GUID TaskbarList3Interface{
    0xea1afb91, 0x9e28, 0x4b86, {0x90, 0xe9, 0x9e, 0x9f, 0x8a, 0x5e, 0xef, 0xaf}};

TBPFLAG flagOf(TaskbarState state) noexcept {
    switch (state) {
    case TaskbarState::Indeterminate:
        return TBPF_INDETERMINATE;
    case TaskbarState::Normal:
        return TBPF_NORMAL;
    case TaskbarState::Error:
        return TBPF_ERROR;
    case TaskbarState::None:
        break;
    }
    return TBPF_NOPROGRESS;
}

} // namespace

TaskbarButton::TaskbarButton() noexcept : createdMessage_(RegisterWindowMessageW(L"TaskbarButtonCreated")) {}

void TaskbarButton::buttonCreated(HWND window) noexcept {
    taskbar_.reset();
    shown_.reset();
    void* taskbar = nullptr;
    if (FAILED(CoCreateInstance(TaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, TaskbarList3Interface,
                                &taskbar)) ||
        taskbar == nullptr) {
        return;
    }
    taskbar_.reset(static_cast<ITaskbarList3*>(taskbar));
    if (FAILED(taskbar_.get()->HrInit())) {
        taskbar_.reset();
        return;
    }
    show(window, wanted_);
}

void TaskbarButton::show(HWND window, const TaskbarProgress& progress) noexcept {
    wanted_ = progress;
    if (!taskbar_ || shown_ == progress) {
        return;
    }
    // Failures are left alone: the button is a convenience, and the next change tries again.
    if (FAILED(taskbar_.get()->SetProgressState(window, flagOf(progress.state)))) {
        return;
    }
    if (progress.state == TaskbarState::Normal || progress.state == TaskbarState::Error) {
        if (FAILED(taskbar_.get()->SetProgressValue(window, static_cast<ULONGLONG>(progress.percent), 100))) {
            return;
        }
    }
    shown_ = progress;
}

void TaskbarButton::release() noexcept {
    taskbar_.reset();
    shown_.reset();
}

} // namespace ardenwick
