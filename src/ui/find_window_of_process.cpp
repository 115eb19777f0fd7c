#include "ui/find_window_of_process.h"

namespace ardenwick {

BOOL CALLBACK findWindowOfProcess(HWND window, LPARAM parameter) noexcept {
    auto* search = reinterpret_cast<ProcessWindowSearch*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window) ||
        GetWindow(window, GW_OWNER) != nullptr || GetWindowTextLengthW(window) <= 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND mainWindowOfProcess(DWORD processId) noexcept {
    if (processId == 0) {
        return nullptr;
    }
    ProcessWindowSearch search{processId, nullptr};
    EnumWindows(findWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace ardenwick
