#include "ui/window_theme.h"

namespace ardenwick {

SystemColors currentSystemColors() noexcept {
    SystemColors colors;
    colors.window = GetSysColor(COLOR_WINDOW);
    colors.windowText = GetSysColor(COLOR_WINDOWTEXT);
    colors.highlight = GetSysColor(COLOR_HIGHLIGHT);
    colors.highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    colors.buttonFace = GetSysColor(COLOR_BTNFACE);
    colors.grayText = GetSysColor(COLOR_GRAYTEXT);
    return colors;
}

bool highContrastEnabled() noexcept {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0)) {
        return false;
    }
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool appsUseDarkTheme() noexcept {
    DWORD value = 1;
    DWORD size = sizeof(value);
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                     L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS && value == 0;
}

ThemeColors currentThemeColors() noexcept {
    return themeColors(appsUseDarkTheme(), highContrastEnabled(), currentSystemColors());
}

} // namespace ardenwick
