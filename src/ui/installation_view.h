#pragma once

#include "installation/installation_service.h"
#include "ui/gdi_handles.h"
#include "ui/installation_presentation.h"
#include "ui/localized_strings.h"
#include "ui/theme_colors.h"

#include <windows.h>

#include <commctrl.h>

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
    WindowCreatedCallback onWindowCreated_;
};

} // namespace ardenwick
