#include "scoped_system_colors.h"
#include "support/wine_host.h"
#include "ui/localized_strings.h"
#include "ui/ui_language.h"
#include "ui_view_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ardenwick {
namespace {

using test::english;
using test::eventually;
using test::ViewHost;
using test::windowText;

constexpr COLORREF hex(std::uint32_t rrggbb) {
    return RGB((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}

std::string colorText(COLORREF color) {
    char text[16];
    std::snprintf(text, sizeof(text), "#%02X%02X%02X", GetRValue(color), GetGValue(color), GetBValue(color));
    return text;
}

RECT rectIn(HWND parent, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

/// A window as PrintWindow draws it, read back pixel by pixel. Wine's PrintWindow leaves the children out of
/// their parent's picture, so each control is captured on its own, in its own coordinates.
class Capture {
public:
    explicit Capture(HWND window) {
        RECT rect{};
        GetWindowRect(window, &rect);
        width_ = rect.right - rect.left;
        height_ = rect.bottom - rect.top;
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width_, height_);
        ReleaseDC(nullptr, screen);
        previous_ = SelectObject(dc_, bitmap_);
        printed_ = PrintWindow(window, dc_, 0) != FALSE;
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    [[nodiscard]] bool printed() const { return printed_; }
    [[nodiscard]] std::string at(int x, int y) const { return colorText(GetPixel(dc_, x, y)); }
    /// How many pixels of `area` are exactly `color`.
    [[nodiscard]] int count(COLORREF color, const RECT& area) const {
        int found = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                found += GetPixel(dc_, x, y) == color ? 1 : 0;
            }
        }
        return found;
    }

private:
    int width_ = 0;
    int height_ = 0;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    bool printed_ = false;
};

/// Sets a value under HKEY_CURRENT_USER for one scope and puts back what was there.
class ScopedUserDword {
public:
    ScopedUserDword(const wchar_t* key, const wchar_t* name, std::optional<DWORD> value)
        : key_(key), name_(name) {
        DWORD old = 0;
        DWORD size = sizeof(old);
        if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &old, &size) ==
            ERROR_SUCCESS) {
            previous_ = old;
        }
        set(value);
    }
    ScopedUserDword(const ScopedUserDword&) = delete;
    ScopedUserDword& operator=(const ScopedUserDword&) = delete;
    ~ScopedUserDword() { set(previous_); }

    void set(std::optional<DWORD> value) {
        if (value) {
            RegSetKeyValueW(HKEY_CURRENT_USER, key_, name_, REG_DWORD, &*value, sizeof(DWORD));
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key_, name_);
        }
    }

private:
    const wchar_t* key_;
    const wchar_t* name_;
    std::optional<DWORD> previous_;
};

constexpr wchar_t PersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

struct Expectation {
    COLORREF background;
    COLORREF bar;
    COLORREF track;
    COLORREF primaryFill;
};

void expectColours(ViewHost& host, const Expectation& expected) {
    InstallationStatus downloading;
    downloading.kind = InstallationKind::Downloading;
    downloading.doneBytes = 1;
    downloading.totalBytes = 2;
    host.service.setStatus(downloading);
    ASSERT_TRUE(eventually([&] { return SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0) == 50; }));
    SendMessageW(host.window(), WM_NULL, 0, 0); // one more pass of the loop paints what changed
    {
        Capture window(host.window());
        ASSERT_TRUE(window.printed());
        EXPECT_EQ(window.at(20, 140), colorText(expected.background));
        EXPECT_EQ(window.at(300, 290), colorText(expected.background));
        RECT bar{};
        GetClientRect(host.progressBar(), &bar);
        Capture capture(host.progressBar());
        ASSERT_TRUE(capture.printed());
        EXPECT_EQ(capture.at(1, 1), colorText(expected.bar));
        EXPECT_EQ(capture.at(bar.right / 2 - 1, bar.bottom - 1), colorText(expected.bar));
        EXPECT_EQ(capture.at(bar.right / 2 + 1, 1), colorText(expected.track));
        EXPECT_EQ(capture.at(bar.right - 1, bar.bottom - 1), colorText(expected.track));
    }

    host.service.setKind(InstallationKind::InstallationFailed, "installation_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.primaryButton()) != FALSE; }));
    SendMessageW(host.window(), WM_NULL, 0, 0);
    RECT primary{};
    GetClientRect(host.primaryButton(), &primary);
    Capture capture(host.primaryButton());
    ASSERT_TRUE(capture.printed());
    // Inside the focus frame (the primary button has the focus), outside the rounded body.
    EXPECT_EQ(capture.at(1, 1), colorText(expected.background)) << "the corner outside the rounded body";
    EXPECT_EQ(capture.at(6, primary.bottom / 2), colorText(expected.primaryFill));
}

TEST(InstallationWindowColours, LightAndDarkFollowTheAppModeAtOnce) {
    ScopedUserDword appMode(PersonalizeKey, L"AppsUseLightTheme", std::nullopt); // absent: light
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    expectColours(host, {hex(0xF8F8F6), hex(0x1B1F24), hex(0xE2E8EA), hex(0x1B1F24)});

    appMode.set(0);
    SendMessageW(host.window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
    expectColours(host, {hex(0x181818), hex(0xFFFFFF), hex(0x424242), hex(0xFFFFFF)});

    appMode.set(1);
    SendMessageW(host.window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
    expectColours(host, {hex(0xF8F8F6), hex(0x1B1F24), hex(0xE2E8EA), hex(0x1B1F24)});
}

TEST(InstallationWindowColours, CloseButtonTurnsRedUnderThePointer) {
    ScopedUserDword appMode(PersonalizeKey, L"AppsUseLightTheme", 1);
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    host.service.setKind(InstallationKind::InstallationFailed);
    ASSERT_TRUE(eventually([&] { return windowText(host.closeButton()) == u"Close"; }));

    RECT close{};
    GetClientRect(host.closeButton(), &close);
    {
        Capture capture(host.closeButton());
        ASSERT_TRUE(capture.printed());
        EXPECT_EQ(capture.at(4, 4), colorText(hex(0xF8F8F6)));
    }
    RECT screen{};
    GetWindowRect(host.closeButton(), &screen);
    SetCursorPos((screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2);
    ASSERT_TRUE(eventually([&] {
        PostMessageW(host.closeButton(), WM_MOUSEMOVE, 0, MAKELPARAM(close.right / 2, close.bottom / 2));
        SendMessageW(host.window(), WM_NULL, 0, 0);
        Capture capture(host.closeButton());
        return capture.at(4, 4) == colorText(hex(0xE81123));
    }));
    Capture capture(host.closeButton());
    // The X is white on red and centred: both strokes pass through the button's centre.
    const int centerX = close.right / 2;
    const int centerY = close.bottom / 2;
    EXPECT_EQ(capture.at(centerX, centerY), colorText(hex(0xFFFFFF)));
    EXPECT_EQ(capture.at(centerX - 3, centerY - 3), colorText(hex(0xFFFFFF)));
    EXPECT_EQ(capture.at(centerX + 3, centerY - 3), colorText(hex(0xFFFFFF)));
    EXPECT_EQ(capture.at(centerX, centerY - 3), colorText(hex(0xE81123)));

    // Pressed: a lighter red in the light theme, with a dark X (white on it is below 3:1), and a darker
    // red with the white X in the dark theme.
    SendMessageW(host.closeButton(), BM_SETSTATE, TRUE, 0);
    {
        Capture pressed(host.closeButton());
        EXPECT_EQ(pressed.at(4, 4), colorText(hex(0xEE6E78)));
        EXPECT_EQ(pressed.at(centerX, centerY), colorText(hex(0x1E1E1E)));
    }
    appMode.set(0);
    SendMessageW(host.window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
    {
        Capture pressed(host.closeButton());
        EXPECT_EQ(pressed.at(4, 4), colorText(hex(0x94141F)));
        EXPECT_EQ(pressed.at(centerX, centerY), colorText(hex(0xFFFFFF)));
    }
    SendMessageW(host.closeButton(), BM_SETSTATE, FALSE, 0);
    SetCursorPos(0, 0);
}

TEST(InstallationWindowColours, TheFocusedButtonIsFramedInTheCardsTextColour) {
    ScopedUserDword appMode(PersonalizeKey, L"AppsUseLightTheme", 1);
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    host.service.setKind(InstallationKind::InstallationFailed, "installation_failed");
    ASSERT_TRUE(eventually([&] { return host.focusedControl() == host.primaryButton(); }));
    // Focus cues show once the keyboard is used, as Tab does.
    SendMessageW(host.window(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    RECT primary{};
    GetClientRect(host.primaryButton(), &primary);
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        appMode.set(dark ? 0 : 1);
        SendMessageW(host.window(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
        const std::string frame = colorText(dark ? hex(0xFFFFFF) : hex(0x1E1E1E));
        Capture focused(host.primaryButton());
        ASSERT_TRUE(focused.printed());
        // Solid on every side, and only one pixel wide: inside it the card shows.
        EXPECT_EQ(focused.at(0, primary.bottom / 2), frame);
        EXPECT_EQ(focused.at(primary.right - 1, primary.bottom / 2), frame);
        EXPECT_EQ(focused.at(primary.right / 2, 0), frame);
        EXPECT_EQ(focused.at(primary.right / 2 + 1, primary.bottom - 1), frame);
        EXPECT_EQ(focused.at(1, primary.bottom / 2), colorText(dark ? hex(0x181818) : hex(0xF8F8F6)));
        Capture other(host.secondaryButton());
        EXPECT_EQ(other.at(0, primary.bottom / 2), colorText(dark ? hex(0x181818) : hex(0xF8F8F6)))
            << "only the focused button is framed";
    }
}

bool highContrastOn() noexcept {
    return true;
}

TEST(InstallationWindowColours, HighContrastPressedButtonsDrawHighlightTextOnHighlight) {
    // "High Contrast Black". Wine's SPI_GETHIGHCONTRAST is always off, so the host answers for it.
    const COLORREF black = hex(0x000000);
    const COLORREF white = hex(0xFFFFFF);
    const COLORREF highlight = hex(0x1AEBFF);
    const test::ScopedSystemColors system(test::highContrastBlackColors());
    ViewHost host(english(), {}, highContrastOn);
    ASSERT_TRUE(host.start());
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.tertiaryButton()) != FALSE; }));

    for (HWND button : {host.secondaryButton(), host.primaryButton(), host.tertiaryButton()}) {
        const std::u16string name = windowText(button);
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        RECT client{};
        GetClientRect(button, &client);
        RECT label = client; // inside the outline and the focus frame
        InflateRect(&label, -4, -4);
        {
            Capture idle(button);
            ASSERT_TRUE(idle.printed());
            EXPECT_GT(idle.count(white, label), 0) << "the idle label is COLOR_WINDOWTEXT";
        }
        // Pressed (BM_SETSTATE, as a held click or space bar leaves it); hot takes the same colours.
        SendMessageW(button, BM_SETSTATE, TRUE, 0);
        Capture pressed(button);
        EXPECT_EQ(pressed.at(6, client.bottom / 2), colorText(highlight));
        EXPECT_GT(pressed.count(black, label), 0) << "the label is drawn in COLOR_HIGHLIGHTTEXT";
        EXPECT_EQ(pressed.count(white, label), 0) << "no COLOR_WINDOWTEXT on the COLOR_HIGHLIGHT fill";
        SendMessageW(button, BM_SETSTATE, FALSE, 0);
    }
}

/// The DPI a parent run asked Wine for (ScalesTo144Dpi below), or nothing.
std::optional<int> forcedDpi() {
    const char* text = std::getenv("ARDENWICK_UI_EXPECTED_DPI");
    return text != nullptr ? std::optional<int>(std::atoi(text)) : std::nullopt;
}

/// `value` at 96 DPI as the window has it at the DPI Windows reports for it.
int scaledFor(HWND window, int value) {
    return MulDiv(value, static_cast<int>(GetDpiForWindow(window)), 96);
}

// The table at the DPI Windows gives the window: 96 on a display at 100 %, 144 at 150 %, and so on.
TEST(InstallationWindowLayout, MatchesTheTableAtTheSystemDpi) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    const int dpi = static_cast<int>(GetDpiForWindow(host.window()));
    if (const std::optional<int> forced = forcedDpi()) {
        ASSERT_EQ(dpi, *forced) << "LogPixels did not reach this process";
    }
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.tertiaryButton()) != FALSE; }));

    const auto s = [dpi](int value) { return MulDiv(value, dpi, 96); };
    RECT window{};
    GetWindowRect(host.window(), &window);
    EXPECT_EQ(window.right - window.left, s(560));
    EXPECT_EQ(window.bottom - window.top, s(372));
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(window.left, (work.left + work.right - s(560)) / 2);
    EXPECT_EQ(window.top, (work.top + work.bottom - s(372)) / 2);
    RECT client{};
    GetClientRect(host.window(), &client);
    EXPECT_EQ(client.right, s(560)) << "the client area covers the whole window";
    EXPECT_EQ(client.bottom, s(372));

    const auto expectRect = [&](HWND control, int x, int y, int width, int height, const char* name) {
        const RECT rect = rectIn(host.window(), control);
        EXPECT_EQ(rect.left, x) << name;
        EXPECT_EQ(rect.top, y) << name;
        EXPECT_EQ(rect.right - rect.left, width) << name;
        EXPECT_EQ(rect.bottom - rect.top, height) << name;
    };
    const int W = s(560);
    const int H = s(372);
    expectRect(host.closeButton(), W - s(48), 0, s(48), s(48), "close");
    expectRect(host.icon(), s(140), s(72), s(44), s(44), "icon");
    expectRect(host.productLabel(), s(200), s(74), s(240), s(44), "product");
    expectRect(host.heading(), s(48), s(156), W - s(96), s(32), "heading");
    expectRect(host.detail(), s(48), s(196), W - s(96), s(48), "detail");
    expectRect(host.progressBar(), s(48), s(256), W - s(96), s(4), "progress");

    const RECT secondary = rectIn(host.window(), host.secondaryButton());
    const RECT primary = rectIn(host.window(), host.primaryButton());
    const RECT tertiary = rectIn(host.window(), host.tertiaryButton());
    EXPECT_EQ(secondary.right, W - s(48));
    EXPECT_EQ(primary.right, secondary.left - s(12));
    EXPECT_EQ(tertiary.left, s(44));
    for (const RECT& button : {primary, secondary, tertiary}) {
        EXPECT_EQ(button.top, H - s(60));
        EXPECT_EQ(button.bottom - button.top, s(36));
    }
    // Each button is its label's width plus 15 on either side, so the longer label makes the wider button.
    EXPECT_GT(tertiary.right - tertiary.left, secondary.right - secondary.left);
    EXPECT_GT(secondary.right - secondary.left, s(30));
    if (dpi == 144) {
        EXPECT_EQ(window.right - window.left, 840);
        EXPECT_EQ(window.bottom - window.top, 558);
        const RECT close = rectIn(host.window(), host.closeButton());
        EXPECT_EQ(close.right - close.left, 72);
        EXPECT_EQ(close.bottom - close.top, 72);
        const RECT bar = rectIn(host.window(), host.progressBar());
        EXPECT_EQ(bar.bottom - bar.top, 6);
    }
}

constexpr const char* logPixelsSkip =
    "Wine only: Windows applies a new LogPixels only after the user signs in again";

// A second run of the table at 144 DPI, in a child process that Wine starts at the DPI of LogPixels.
TEST(InstallationWindowLayout, ScalesTo144Dpi) {
    if (forcedDpi()) {
        return; // this is the child run
    }
    if (!testing::runningUnderWine()) {
        RecordProperty("skip_reason", logPixelsSkip);
        GTEST_SKIP() << logPixelsSkip;
    }
    ScopedUserDword logPixels(L"Control Panel\\Desktop", L"LogPixels", 144);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) +
                               L"\" --gtest_filter=InstallationWindowLayout.MatchesTheTableAtTheSystemDpi";
    SetEnvironmentVariableW(L"ARDENWICK_UI_EXPECTED_DPI", L"144");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableW(L"ARDENWICK_UI_EXPECTED_DPI", nullptr);
    ASSERT_TRUE(created);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u) << "the layout at 144 DPI failed; see the child's output above";
}

TEST(InstallationWindowLayout, TopBandDragsTheWindowButNotTheCloseCorner) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    RECT window{};
    GetWindowRect(host.window(), &window);
    const auto hitTest = [&](int x, int y) {
        return SendMessageW(host.window(), WM_NCHITTEST, 0, MAKELPARAM(window.left + x, window.top + y));
    };
    // The band is 48 high at 96 DPI and the close button's column the last 48 of the width, scaled.
    const auto s = [&](int value) { return scaledFor(host.window(), value); };
    const int band = s(48);
    const int closeLeft = (window.right - window.left) - s(48);
    EXPECT_EQ(hitTest(5, 5), HTCAPTION);
    EXPECT_EQ(hitTest(s(300), band - 1), HTCAPTION);
    EXPECT_EQ(hitTest(closeLeft - 1, 10), HTCAPTION);
    EXPECT_EQ(hitTest(closeLeft + 1, 10), HTCLIENT); // the close button's column
    EXPECT_EQ(hitTest(s(300), band), HTCLIENT);
    EXPECT_EQ(hitTest(s(20), s(300)), HTCLIENT);
}

TEST(InstallationWindowLayout, DpiChangeTakesTheSuggestedRectangleAndNewFonts) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    const auto oldHeadingFont = SendMessageW(host.heading(), WM_GETFONT, 0, 0);
    const auto oldBodyFont = SendMessageW(host.detail(), WM_GETFONT, 0, 0);
    ASSERT_NE(oldHeadingFont, 0);
    RECT suggested{100, 80, 100 + 840, 80 + 558};
    SendMessageW(host.window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT window{};
    GetWindowRect(host.window(), &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 80);
    EXPECT_EQ(window.right - window.left, 840);
    EXPECT_EQ(window.bottom - window.top, 558);
    // The controls follow the new client size; the fonts were made anew.
    const int dpi = static_cast<int>(GetDpiForWindow(host.window()));
    const RECT close = rectIn(host.window(), host.closeButton());
    EXPECT_EQ(close.right, 840);
    EXPECT_EQ(close.right - close.left, MulDiv(48, dpi, 96));
    EXPECT_EQ(rectIn(host.window(), host.heading()).right, 840 - MulDiv(48, dpi, 96));
    EXPECT_NE(SendMessageW(host.heading(), WM_GETFONT, 0, 0), oldHeadingFont);
    EXPECT_NE(SendMessageW(host.detail(), WM_GETFONT, 0, 0), oldBodyFont);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(SendMessageW(host.detail(), WM_GETFONT, 0, 0))),
              static_cast<DWORD>(OBJ_FONT));
}

const char* languageUnderTest() {
    const char* text = std::getenv("ARDENWICK_UI_EXPECTED_LANGUAGE");
    return text != nullptr ? text : "en-US";
}

/// The user's default UI language as Windows names it ("pt-BR", "en-GB", ...).
UiString systemUiLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(GetUserDefaultUILanguage(), name, LOCALE_NAME_MAX_LENGTH, 0) == 0) {
        return {};
    }
    return name;
}

struct LanguageTexts {
    std::u16string tag;
    std::u16string caption;
    std::u16string preparing;
    std::u16string background;
    std::u16string failed;
    std::u16string tryAgain;
    std::u16string close;
    std::u16string fullInstaller;
};

// Each language's table as the window shows it, whatever language the test machine runs in; and the
// language chosen is the machine's own. Wine takes the UI language from LC_ALL, so there the variants
// of this program (see CMakeLists) also prove that the choice follows it. Windows ignores LC_ALL: there
// the choice is checked against the UI language the PC really has.
TEST(InstallationWindowLanguage, TextsFollowTheUserInterfaceLanguage) {
    const std::string wanted = languageUnderTest();
    const LanguageTexts all[] = {
        {u"en-US", u"Ardenwick Setup", u"Preparing your installation...",
         u"Close window; installation continues in the background.", u"Installation couldn't finish.",
         u"Try again", u"Close", u"Download full installer"},
        {u"pt-BR", u"Configura\u00e7\u00e3o da Ardenwick", u"Preparando sua instala\u00e7\u00e3o...",
         u"Feche a janela; a instala\u00e7\u00e3o continua em segundo plano.",
         u"A instala\u00e7\u00e3o n\u00e3o p\u00f4de ser conclu\u00edda.", u"Tente novamente", u"Fechar",
         u"Baixar instalador completo"},
        {u"zh-Hans", u"Ardenwick \u5b89\u88c5\u7a0b\u5e8f",
         u"\u6b63\u5728\u51c6\u5907\u5b89\u88c5\u2026\u2026",
         u"\u5173\u95ed\u7a97\u53e3\uff0c\u5b89\u88c5\u5c06\u5728\u540e\u53f0\u7ee7\u7eed\u3002",
         u"\u5b89\u88c5\u672a\u80fd\u5b8c\u6210\u3002", u"\u91cd\u8bd5", u"\u5173\u95ed",
         u"\u4e0b\u8f7d\u5b8c\u6574\u5b89\u88c5\u5305"},
    };
    const LanguageTexts* texts = nullptr;
    for (const LanguageTexts& candidate : all) {
        if (std::string(candidate.tag.begin(), candidate.tag.end()) == wanted) {
            texts = &candidate;
        }
    }
    ASSERT_NE(texts, nullptr) << wanted;

    const UiString detected = detectUiLanguage();
    const UiString system = systemUiLanguage();
    const UiString systemSupported = supportedLanguageFor(system);
    if (std::getenv("ARDENWICK_UI_EXPECTED_LANGUAGE") != nullptr && testing::runningUnderWine()) {
        ASSERT_EQ(std::u16string(detected.begin(), detected.end()), texts->tag)
            << "LC_ALL did not reach Wine's UI language";
    }
    if (!systemSupported.empty()) {
        EXPECT_EQ(detected, systemSupported) << "the default UI language comes first";
    } else {
        // A language without texts of its own: one of the user's other languages, or English.
        EXPECT_FALSE(supportedLanguageFor(detected).empty());
    }

    const UiString language(texts->tag.begin(), texts->tag.end());
    ViewHost host(stringsForLanguage(language));
    ASSERT_TRUE(host.start());
    EXPECT_EQ(windowText(host.window()), texts->caption);
    EXPECT_EQ(windowText(host.heading()), texts->preparing);
    EXPECT_EQ(windowText(host.closeButton()), texts->background);
    EXPECT_EQ(windowText(host.productLabel()), u"Ardenwick");
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == texts->failed; }));
    EXPECT_EQ(windowText(host.primaryButton()), texts->tryAgain);
    EXPECT_EQ(windowText(host.secondaryButton()), texts->close);
    EXPECT_EQ(windowText(host.closeButton()), texts->close);
    EXPECT_EQ(windowText(host.tertiaryButton()), texts->fullInstaller);
}

} // namespace
} // namespace ardenwick
