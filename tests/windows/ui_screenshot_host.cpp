// Shows the installer window in one scripted status for screenshots:
//   ui_screenshot_host.exe <language> <kind> <operation|-> <doneBytes> <totalBytes> <marker file> <hold ms>
// Once the window is visible and painted, its screen rectangle "x y width height" is written to the marker
// file; the window stays for <hold ms> and then closes.
#include "ui/installation_view.h"
#include "ui/localized_strings.h"
#include "ui_scripted_service.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr UINT_PTR HoldTimerId = 77;

} // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace ardenwick;
    if (argc != 8) {
        std::fputs("usage: ui_screenshot_host language kind operation done total marker holdMs\n", stderr);
        return 2;
    }
    const LocalizedStrings& strings = stringsForLanguage(argv[1]);
    InstallationStatus status;
    status.kind = static_cast<InstallationKind>(std::stoi(argv[2]));
    const std::wstring operation = argv[3];
    if (operation != L"-") {
        status.operation.assign(operation.begin(), operation.end());
    }
    status.doneBytes = std::stoull(argv[4]);
    status.totalBytes = std::stoull(argv[5]);
    const std::wstring marker = argv[6];
    const UINT holdMs = static_cast<UINT>(std::stoul(argv[7]));

    test::ScriptedInstallationService service;
    service.setStatus(status);
    InstallationView view(service, strings);
    return view.run(GetModuleHandleW(nullptr), [&](HWND window) {
        // Paint everything now, so the capture sees the finished window.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        RECT rect{};
        GetWindowRect(window, &rect);
        if (FILE* file = _wfopen(marker.c_str(), L"w")) {
            std::fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top);
            std::fclose(file);
        }
        SetTimer(nullptr, HoldTimerId, holdMs, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); });
    });
}
