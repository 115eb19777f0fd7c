// Shows the installer window in one scripted status for screenshots:
//   ui_screenshot_host.exe <language> <kind> <operation|-> <doneBytes> <totalBytes> <marker file> <hold ms>
//                          [high-contrast-hover]
// Once the window is visible and painted, its screen rectangle "x y width height" is written to the marker
// file; the window stays for <hold ms> and then closes. With "high-contrast-hover" the window is drawn in
// the system colours of "High Contrast Black" (put back at the end) with the pointer over the primary
// button; Wine never reports high contrast itself.
#include "ui/installation_view.h"
#include "ui/localized_strings.h"
#include "ui_scripted_service.h"

#include <windows.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>

namespace {

constexpr UINT_PTR HoldTimerId = 77;

bool highContrastOn() noexcept {
    return true;
}

/// The system colours of "High Contrast Black" while it lives.
class HighContrastBlack {
public:
    HighContrastBlack() {
        for (std::size_t i = 0; i < indexes_.size(); ++i) {
            previous_[i] = GetSysColor(indexes_[i]);
        }
        const std::array<COLORREF, 6> colours{RGB(0, 0, 0), RGB(0xFF, 0xFF, 0xFF), RGB(0x1A, 0xEB, 0xFF),
                                              RGB(0, 0, 0), RGB(0, 0, 0),          RGB(0x3F, 0xF2, 0x3F)};
        SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), colours.data());
    }
    HighContrastBlack(const HighContrastBlack&) = delete;
    HighContrastBlack& operator=(const HighContrastBlack&) = delete;
    ~HighContrastBlack() {
        SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), previous_.data());
    }

private:
    std::array<int, 6> indexes_{COLOR_WINDOW,        COLOR_WINDOWTEXT, COLOR_HIGHLIGHT,
                                COLOR_HIGHLIGHTTEXT, COLOR_BTNFACE,    COLOR_GRAYTEXT};
    std::array<COLORREF, 6> previous_{};
};

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

    std::optional<HighContrastBlack> contrast;
    test::ScriptedInstallationService service;
    service.setStatus(status);
    InstallationView view(service, strings);
    if (highContrastHover) {
        contrast.emplace();
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
