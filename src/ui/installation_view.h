#pragma once

#include "installation/installation_service.h"
#include "ui/com_ownership.h"
#include "ui/focus_target.h"
#include "ui/gdi_handles.h"
#include "ui/installation_presentation.h"
#include "ui/live_region.h"
#include "ui/localized_strings.h"
#include "ui/taskbar_progress.h"
#include "ui/theme_colors.h"

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <functional>
#include <optional>

namespace ardenwick {

/// The program's only window: shows the service's status and forwards its buttons to the service.
class InstallationView {
public:
    using WindowCreatedCallback = std::function<void(HWND)>;

    /// Copies the strings and starts the installation.
    InstallationView(IInstallationService& service, const LocalizedStrings& strings);
    InstallationView(const InstallationView&) = delete;
    InstallationView& operator=(const InstallationView&) = delete;
    ~InstallationView();

    /// Creates the window and runs the message loop until the window is gone. Returns the WM_QUIT code,
    /// or 1 if the window cannot be created or the loop fails. `onWindowCreated` is called once, on the
    /// first status refresh at which the window is visible.
    [[nodiscard]] int run(HINSTANCE instance, WindowCreatedCallback onWindowCreated);

    /// What the window shows for the service's current status.
    [[nodiscard]] InstallationPresentation buildPresentation() const;

    /// Where the window reads whether high contrast is on; SPI_GETHIGHCONTRAST unless a host under Wine,
    /// whose answer is always "off", gives its own before `run`.
    using HighContrastSource = bool (*)() noexcept;
    void readHighContrastFrom(HighContrastSource source) noexcept { highContrastSource_ = source; }

private:
    static constexpr int PrimaryButtonId = 1;   // IDOK: Enter without a focused button
    static constexpr int SecondaryButtonId = 2; // IDCANCEL: Esc
    static constexpr int TertiaryButtonId = 3;
    static constexpr int CloseButtonId = 4;

    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    [[nodiscard]] std::optional<LRESULT> handleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    void createChildren() noexcept;
    void applyTheme() noexcept;
    void layoutControls() noexcept;
    void layoutButtons() noexcept;
    void refreshFromStatus();
    void followButtonsWithFocus() noexcept;
    void restoreFocus() noexcept;
    void onTimer();
    void onCommand(int id);
    void closeRequested();
    [[nodiscard]] LRESULT onEraseBackground(HDC dc) noexcept;
    [[nodiscard]] LRESULT onStaticColor(HDC dc, HWND control) noexcept;
    [[nodiscard]] LRESULT onCustomDraw(const NMCUSTOMDRAW& draw) noexcept;
    [[nodiscard]] int windowDpi() const noexcept;
    void loadEmbeddedFont(HINSTANCE instance) noexcept;

    IInstallationService& service_;
    LocalizedStrings strings_;
    // Before the COM objects below, so that it outlives them.
    ComApartment apartment_;
    LiveRegions liveRegions_;
    TaskbarButton taskbarButton_;
    // The buttons as the focus last followed them (primary, secondary, tertiary, close), and the control
    // that gets the focus back when the window is activated.
    std::array<FocusCandidate, 4> focusButtons_{};
    HWND focusTarget_ = nullptr;
    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HWND productLabel_ = nullptr;
    HWND icon_ = nullptr;
    HWND heading_ = nullptr;
    HWND detail_ = nullptr;
    HWND progressBar_ = nullptr;
    HWND primaryButton_ = nullptr;
    HWND secondaryButton_ = nullptr;
    HWND tertiaryButton_ = nullptr;
    HWND closeButton_ = nullptr;
    UniqueFont bodyFont_;
    UniqueFont headingFont_;
    UniqueFont productFont_;
    UniqueFontResource embeddedFont_;
    UniqueIcon iconImage_;
    UniqueBrush backgroundBrush_;
    ThemeColors theme_;
    SystemColors systemColors_;
    HighContrastSource highContrastSource_ = nullptr;
    WindowCreatedCallback onWindowCreated_;
};

} // namespace ardenwick
