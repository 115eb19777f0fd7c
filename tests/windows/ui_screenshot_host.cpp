// Shows the installer window in one scripted status for screenshots:
//   ui_screenshot_host.exe <language> <kind> <operation|-> <doneBytes> <totalBytes> <marker file> <hold ms>
//                          [high-contrast-hover]
// Once the window is visible and painted, its screen rectangle "x y width height" is written to the marker
// file; the window stays for <hold ms> and then closes. With "high-contrast-hover" the window is drawn in
// the system colours of "High Contrast Black" (put back at the end) with the pointer over the primary
// button; Wine never reports high contrast itself.
#include "scoped_system_colors.h"
#include "ui/installation_view.h"
#include "ui/localized_strings.h"
#include "ui_scripted_service.h"

#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr UINT_PTR HoldTimerId = 77;

bool highContrastOn() noexcept {
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace ardenwick;
    if (argc != 8 && argc != 9) {
        std::fputs("usage: ui_screenshot_host language kind operation done total marker holdMs "
                   "[high-contrast-hover]\n",
                   stderr);
        return 2;
    }
    const bool highContrastHover = argc == 9 && std::wstring(argv[8]) == L"high-contrast-hover";
    if (argc == 9 && !highContrastHover) {
        std::fputs("ui_screenshot_host: the only mode is high-contrast-hover\n", stderr);
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

    std::optional<ardenwick::test::ScopedSystemColors> contrast;
    test::ScriptedInstallationService service;
    service.setStatus(status);
    InstallationView view(service, strings);
    if (highContrastHover) {
        contrast.emplace(ardenwick::test::highContrastBlackColors());
        view.readHighContrastFrom(highContrastOn);
    }
    return view.run(GetModuleHandleW(nullptr), [&](HWND window) {
        if (highContrastHover) {
            RECT primary{};
            GetWindowRect(GetDlgItem(window, 1), &primary);
            SetCursorPos((primary.left + primary.right) / 2, (primary.top + primary.bottom) / 2);
        }
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
