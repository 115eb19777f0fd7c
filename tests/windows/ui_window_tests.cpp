#include "app/instance_activation.h"
#include "ui/find_window_of_process.h"
#include "ui/instance_window.h"
#include "ui/localized_strings.h"
#include "ui/run_installation_window.h"
#include "ui_view_host.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

using test::english;
using test::eventually;
using test::ViewHost;
using test::windowText;

bool hasStyle(HWND window, LONG_PTR style) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & style) == style;
}

struct Expected {
    std::u16string heading;
    std::u16string detail; // empty: the detail label is hidden
    bool primaryVisible;
    std::u16string primary;
    bool secondaryVisible;
    std::u16string secondary;
    bool tertiaryVisible;
    std::u16string closeName;
    int progress; // -1: marquee
};

void expectWindowShows(ViewHost& host, const Expected& expected) {
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == expected.heading; }))
        << "heading stayed "
        << std::string(windowText(host.heading()).begin(), windowText(host.heading()).end());
    // The whole refresh happens in one tick, so the rest is already in place.
    EXPECT_EQ(windowText(host.detail()), expected.detail);
    EXPECT_EQ(IsWindowVisible(host.detail()) != FALSE, !expected.detail.empty());
    EXPECT_EQ(IsWindowVisible(host.primaryButton()) != FALSE, expected.primaryVisible);
    if (expected.primaryVisible) {
        EXPECT_EQ(windowText(host.primaryButton()), expected.primary);
    }
    EXPECT_EQ(IsWindowVisible(host.secondaryButton()) != FALSE, expected.secondaryVisible);
    EXPECT_EQ(IsWindowEnabled(host.secondaryButton()) != FALSE, expected.secondaryVisible);
    if (expected.secondaryVisible) {
        EXPECT_EQ(windowText(host.secondaryButton()), expected.secondary);
    }
    EXPECT_EQ(IsWindowVisible(host.tertiaryButton()) != FALSE, expected.tertiaryVisible);
    EXPECT_EQ(windowText(host.tertiaryButton()), u"Download full installer");
    EXPECT_EQ(windowText(host.closeButton()), expected.closeName);
    EXPECT_TRUE(IsWindowVisible(host.closeButton()));
    EXPECT_TRUE(IsWindowEnabled(host.closeButton()));
    EXPECT_EQ(windowText(host.productLabel()), u"Ardenwick");
    EXPECT_EQ(windowText(host.window()), u"Ardenwick Setup");
    if (expected.progress < 0) {
        EXPECT_TRUE(hasStyle(host.progressBar(), PBS_MARQUEE));
    } else {
        EXPECT_FALSE(hasStyle(host.progressBar(), PBS_MARQUEE));
        EXPECT_EQ(SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0), expected.progress);
    }
}

TEST(InstallationWindow, ControlsShowTheTextsOfEveryStatus) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    EXPECT_EQ(host.startsAfterConstruction.load(), 1) << "constructing the view starts the installation";

    const std::u16string background = u"Close window; installation continues in the background.";
    expectWindowShows(
        host, {u"Preparing your installation...", u"", false, u"", false, u"", false, background, -1});

    InstallationStatus downloading;
    downloading.kind = InstallationKind::Downloading;
    host.service.setStatus(downloading);
    expectWindowShows(host,
                      {u"Downloading Ardenwick...", u"", false, u"", false, u"", false, background, -1});
    downloading.doneBytes = 50;
    downloading.totalBytes = 200;
    host.service.setStatus(downloading);
    ASSERT_TRUE(eventually([&] { return !hasStyle(host.progressBar(), PBS_MARQUEE); }));
    EXPECT_EQ(SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0), 25);

    host.service.setKind(InstallationKind::Verifying);
    expectWindowShows(host,
                      {u"Checking your download...", u"", false, u"", false, u"", false, background, -1});
    host.service.setKind(InstallationKind::Installing);
    expectWindowShows(host, {u"Installing Ardenwick...", u"This may take a few moments.", false, u"", false,
                             u"", false, background, -1});
    host.service.setKind(InstallationKind::Launching);
    expectWindowShows(host, {u"Opening Ardenwick...", u"", false, u"", false, u"", false, background, -1});

    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    expectWindowShows(host,
                      {u"Installation couldn't finish.",
                       u"The download couldn't finish. Check your connection and available disk space, then "
                       u"try again.",
                       true, u"Try again", true, u"Close", true, u"Close", 0});
    host.service.setKind(InstallationKind::InstallationFailed, "unsupported_architecture");
    ASSERT_TRUE(eventually([&] {
        return windowText(host.detail()) == u"This version of Ardenwick isn't compatible with your PC.";
    }));
    expectWindowShows(host, {u"Installation couldn't finish.",
                             u"This version of Ardenwick isn't compatible with your PC.", false, u"", true,
                             u"Close", false, u"Close", 0});
    host.service.setKind(InstallationKind::ResultUnknown, "nsis_result_unknown");
    expectWindowShows(host, {u"Something went wrong.", u"Try again to finish installing Ardenwick.", true,
                             u"Try again", true, u"Close", false, u"Close", 0});
    host.service.setKind(InstallationKind::AlreadyInstalled);
    expectWindowShows(host, {u"Ardenwick is already installed.", u"", true, u"Open Ardenwick", true, u"Close",
                             false, u"Close", 100});
    host.service.setKind(InstallationKind::LaunchFailed);
    expectWindowShows(host,
                      {u"You're all set.", u"Ardenwick is installed. Select Open Ardenwick to start it.",
                       true, u"Open Ardenwick", true, u"Close", false, u"Close", 100});
    host.service.setKind(InstallationKind::UpdateFailed);
    expectWindowShows(host,
                      {u"Couldn\u2019t install the update", u"The installation couldn't finish. Try again.",
                       true, u"Try again", true, u"Open Ardenwick", false, u"Close", 0});
    host.service.setKind(InstallationKind::InstallationCancelled);
    expectWindowShows(
        host, {u"Installation canceled.", u"", true, u"Try again", true, u"Close", false, u"Close", 0});

    // No status value crashes the window: unknown kinds show the defaults.
    host.service.setKind(static_cast<InstallationKind>(57), "something_new");
    expectWindowShows(
        host, {u"Preparing your installation...", u"", false, u"", true, u"Close", false, u"Close", -1});

    EXPECT_EQ(host.createdCallbacks.load(), 1);
    EXPECT_EQ(host.createdWindow.load(), host.window());
    wchar_t className[64] = {};
    GetClassNameW(host.window(), className, 64);
    EXPECT_STREQ(className, L"ArdenwickInstallation");
    EXPECT_EQ(GetWindowLongPtrW(host.window(), GWL_STYLE) &
                  (WS_POPUP | WS_SYSMENU | WS_CAPTION | WS_THICKFRAME),
              WS_POPUP | WS_SYSMENU);
    EXPECT_EQ(GetWindowLongPtrW(host.window(), GWL_EXSTYLE) & WS_EX_CONTROLPARENT, WS_EX_CONTROLPARENT);
}

std::wstring faceOf(HWND control) {
    HDC dc = GetDC(control);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return std::wstring(face) + L"/" + std::to_wstring(metrics.tmWeight);
}

TEST(InstallationWindow, ProductLabelUsesTheEmbeddedOutfitFont) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    // The face is a private font from the executable's resource 102; no system font of that name exists.
    EXPECT_EQ(faceOf(host.productLabel()), L"Outfit/500");
    // The other fonts are asked for as Segoe UI; which face answers depends on the system.
    const auto requested = [](HWND control) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
        return std::wstring(font.lfFaceName) + L"/" + std::to_wstring(font.lfHeight) + L"/" +
               std::to_wstring(font.lfWeight) + L"/" + std::to_wstring(font.lfQuality);
    };
    // Sizes at 96 DPI, scaled to the DPI Windows gives the window (a display at 150 % has 144).
    const int dpi = static_cast<int>(GetDpiForWindow(host.window()));
    const auto height = [dpi](int size) { return std::to_wstring(-MulDiv(size, dpi, 96)); };
    EXPECT_EQ(requested(host.heading()), L"Segoe UI/" + height(20) + L"/600/5");
    EXPECT_EQ(requested(host.detail()), L"Segoe UI/" + height(14) + L"/400/5");
    EXPECT_EQ(requested(host.primaryButton()), L"Segoe UI/" + height(14) + L"/400/5");
    EXPECT_EQ(requested(host.productLabel()), L"Outfit/" + height(32) + L"/500/5");
    HICON icon = reinterpret_cast<HICON>(SendMessageW(host.icon(), STM_GETICON, 0, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, MulDiv(44, dpi, 96));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST(InstallationWindow, ButtonsCallTheServiceForTheStatusAtTheClick) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    ASSERT_EQ(host.service.starts.load(), 1);

    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.tertiaryButton()) != FALSE; }));
    SendMessageW(host.primaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.starts.load(), 2);
    EXPECT_EQ(host.service.opens.load(), 0);
    SendMessageW(host.tertiaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.fullInstallerDownloads.load(), 1);

    host.service.setKind(InstallationKind::AlreadyInstalled);
    ASSERT_TRUE(eventually([&] { return windowText(host.primaryButton()) == u"Open Ardenwick"; }));
    SendMessageW(host.primaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.opens.load(), 1);
    host.service.setKind(InstallationKind::LaunchFailed);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"You're all set."; }));
    SendMessageW(host.primaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.opens.load(), 2);
    EXPECT_EQ(host.service.starts.load(), 2);

    // "Open Ardenwick" on a failed update opens the application and keeps the window.
    host.service.setKind(InstallationKind::UpdateFailed);
    ASSERT_TRUE(eventually([&] { return windowText(host.secondaryButton()) == u"Open Ardenwick"; }));
    SendMessageW(host.secondaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.opens.load(), 3);
    EXPECT_TRUE(host.windowExists());
    SendMessageW(host.primaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.service.starts.load(), 3);

    // "Close" on a final status ends the window and the loop with 0.
    host.service.setKind(InstallationKind::InstallationFailed, "installation_failed");
    ASSERT_TRUE(eventually([&] { return windowText(host.secondaryButton()) == u"Close"; }));
    SendMessageW(host.secondaryButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(host.join(), 0);
    EXPECT_FALSE(host.windowExists());
    EXPECT_EQ(host.service.stops.load(), 0) << "the window never stops the worker itself";
    EXPECT_EQ(host.service.opens.load(), 3);
}

void pressKey(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
}

TEST(InstallationWindow, DialogKeysMoveFocusAndPressButtons) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.tertiaryButton()) != FALSE; }));

    // Tab walks the visible buttons.
    std::vector<HWND> visited;
    for (int i = 0; i < 4; ++i) {
        HWND before = host.focusedControl();
        pressKey(before != nullptr ? before : host.window(), VK_TAB);
        ASSERT_TRUE(
            eventually([&] { return host.focusedControl() != before && host.focusedControl() != nullptr; }));
        visited.push_back(host.focusedControl());
    }
    for (HWND button :
         {host.closeButton(), host.primaryButton(), host.secondaryButton(), host.tertiaryButton()}) {
        EXPECT_NE(std::find(visited.begin(), visited.end(), button), visited.end());
    }

    // Space presses the focused button; Enter on a focused button presses it too.
    while (host.focusedControl() != host.tertiaryButton()) {
        HWND before = host.focusedControl();
        pressKey(before, VK_TAB);
        ASSERT_TRUE(eventually([&] { return host.focusedControl() != before; }));
    }
    pressKey(host.tertiaryButton(), VK_SPACE);
    ASSERT_TRUE(eventually([&] { return host.service.fullInstallerDownloads.load() == 1; }));
    while (host.focusedControl() != host.primaryButton()) {
        HWND before = host.focusedControl();
        pressKey(before, VK_TAB);
        ASSERT_TRUE(eventually([&] { return host.focusedControl() != before; }));
    }
    pressKey(host.primaryButton(), VK_RETURN);
    ASSERT_TRUE(eventually([&] { return host.service.starts.load() == 2; }));

    // Esc is the secondary command: ignored while the installation runs, closing once it has ended.
    host.service.setKind(InstallationKind::Downloading);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.secondaryButton()) == FALSE; }));
    pressKey(host.window(), VK_ESCAPE);
    host.service.setKind(InstallationKind::Downloading); // a round trip through the loop
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Downloading Ardenwick..."; }));
    SendMessageW(host.window(), WM_NULL, 0, 0);
    EXPECT_TRUE(host.windowExists());
    EXPECT_TRUE(IsWindowVisible(host.window()));

    host.service.setKind(InstallationKind::InstallationFailed);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.secondaryButton()) != FALSE; }));
    pressKey(host.focusedControl() != nullptr ? host.focusedControl() : host.window(), VK_ESCAPE);
    EXPECT_EQ(host.join(), 0);
}

TEST(InstallationWindow, EnterAndEscDoNothingForAHiddenButton) {
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    ASSERT_EQ(host.service.starts.load(), 1);
    host.service.setKind(InstallationKind::Downloading);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Downloading Ardenwick..."; }));
    ASSERT_FALSE(IsWindowVisible(host.primaryButton()));

    // Enter arrives as command 1 although "Try again" is hidden, and Esc as command 2. Posted messages
    // are handled in order, so once the close request behind them has hidden the window, both have been.
    pressKey(host.window(), VK_RETURN);
    pressKey(host.window(), VK_ESCAPE);
    PostMessageW(host.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.window()) == FALSE; }));
    EXPECT_EQ(host.service.starts.load(), 1) << "Enter started an installation with \"Try again\" hidden";
    EXPECT_EQ(host.service.opens.load(), 0);
    EXPECT_TRUE(host.windowExists());
    PostMessageW(host.window(), ActivateInstanceMessage, 0, 0);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.window()) != FALSE; }));

    // Where its button is shown, Esc keeps its meaning: "Open Ardenwick" on a failed update.
    host.service.setKind(InstallationKind::UpdateFailed);
    ASSERT_TRUE(eventually([&] { return windowText(host.secondaryButton()) == u"Open Ardenwick"; }));
    pressKey(host.window(), VK_ESCAPE);
    ASSERT_TRUE(eventually([&] { return host.service.opens.load() == 1; }));
    EXPECT_TRUE(host.windowExists());
    SendMessageW(host.window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(host.join(), 0);
}

TEST(InstallationWindow, CloseHidesWhileRunningAndTheHiddenWindowEndsWithTheInstallation) {
    constexpr std::uint64_t key = 0x8000'1234'5678'9ABDull;
    ViewHost host(english(), [](HWND window) { markInstanceWindow(window, key); });
    ASSERT_TRUE(host.start());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropW(host.window(), L"Ardenwick.Installation.Key")), key);

    InstallationStatus downloading;
    downloading.kind = InstallationKind::Downloading;
    downloading.doneBytes = 10;
    downloading.totalBytes = 100;
    host.service.setStatus(downloading);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Downloading Ardenwick..."; }));

    SendMessageW(host.closeButton(), BM_CLICK, 0, 0);
    EXPECT_TRUE(host.windowExists());
    EXPECT_FALSE(IsWindowVisible(host.window()));
    // Alt+F4 takes the same road.
    PostMessageW(host.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(host.window(), WM_NULL, 0, 0);
    EXPECT_TRUE(host.windowExists());

    // A second instance finds the hidden window by its key and brings it back.
    ASSERT_TRUE(activateRunningInstance(key));
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.window()) != FALSE; }));

    SendMessageW(host.window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(host.window()));
    downloading.doneBytes = 90;
    host.service.setStatus(downloading);
    ASSERT_TRUE(eventually([&] { return SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0) == 90; }));
    EXPECT_TRUE(host.windowExists()) << "a hidden window follows the installation";

    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    EXPECT_EQ(host.join(), 0);
    EXPECT_FALSE(host.windowExists());
    EXPECT_EQ(host.createdCallbacks.load(), 1);
}

TEST(InstallationWindow, DismissesItselfWhenReadyOrFinished) {
    {
        ViewHost host(english());
        ASSERT_TRUE(host.start());
        InstallationStatus ready;
        ready.kind = InstallationKind::Ready;
        ready.applicationProcessId = 0xFFFFFFF0u; // no such process: nothing to bring forward
        host.service.setStatus(ready);
        EXPECT_EQ(host.join(), 0);
    }
    {
        ViewHost host(english());
        ASSERT_TRUE(host.start());
        InstallationStatus cancelled;
        cancelled.kind = InstallationKind::InstallationCancelled;
        cancelled.finished = true;
        host.service.setStatus(cancelled);
        EXPECT_EQ(host.join(), 0);
    }
}

HWND findInstanceWindow(std::uint64_t key) {
    for (HWND window = FindWindowExW(nullptr, nullptr, L"ArdenwickInstallation", nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, L"ArdenwickInstallation", nullptr)) {
        if (reinterpret_cast<std::uintptr_t>(GetPropW(window, L"Ardenwick.Installation.Key")) == key) {
            return window;
        }
    }
    return nullptr;
}

TEST(RunInstallationWindow, MarksTheWindowAndExitsByTheFinalStatus) {
    for (const bool ready : {true, false}) {
        SCOPED_TRACE(ready ? "ready" : "failed");
        const std::uint64_t key = ready ? 0x0123'4567'89AB'CDEFull : 0x0FED'CBA9'8765'4321ull;
        test::ScriptedInstallationService service;
        std::atomic<int> readyMarks{0};
        std::atomic<bool> visibleWhenMarked{false};
        std::atomic<int> exitCode{-99};
        std::thread ui([&] {
            exitCode = runInstallationWindow(GetModuleHandleW(nullptr), service, key, [&] {
                HWND window = findInstanceWindow(key);
                visibleWhenMarked = window != nullptr && IsWindowVisible(window) != FALSE;
                ++readyMarks;
            });
        });
        ASSERT_TRUE(eventually([&] { return readyMarks.load() > 0; }));
        EXPECT_TRUE(visibleWhenMarked.load()) << "the property is set before the window is reported ready";
        HWND window = findInstanceWindow(key);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(service.starts.load(), 1);

        // A second instance restores the hidden window.
        SendMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_TRUE(activateRunningInstance(key));
        EXPECT_TRUE(eventually([&] { return IsWindowVisible(window) != FALSE; }));

        if (ready) {
            service.setKind(InstallationKind::Ready);
        } else {
            service.setKind(InstallationKind::InstallationFailed, "installation_failed");
            ASSERT_TRUE(eventually([&] { return IsWindowVisible(GetDlgItem(window, 2)) != FALSE; }));
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        ui.join();
        EXPECT_EQ(exitCode.load(), ready ? 0 : 1);
        EXPECT_EQ(readyMarks.load(), 1);
        EXPECT_EQ(findInstanceWindow(key), nullptr);
    }
}

LRESULT CALLBACK plainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(FindWindowOfProcess, TakesTheVisibleUnownedTitledWindow) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = plainWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ArdenwickTestApplication";
    RegisterClassW(&windowClass);
    const auto make = [&](const wchar_t* title, HWND owner, bool visible) {
        return CreateWindowExW(0, L"ArdenwickTestApplication", title,
                               WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 10, 10, 200, 100, owner,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    };
    HWND hidden = make(L"Hidden", nullptr, false);
    HWND untitled = make(L"", nullptr, true);
    HWND owned = make(L"Owned", hidden, true);
    EXPECT_EQ(mainWindowOfProcess(GetCurrentProcessId()), nullptr);
    HWND main = make(L"Main", nullptr, true);
    EXPECT_EQ(mainWindowOfProcess(GetCurrentProcessId()), main);
    EXPECT_EQ(mainWindowOfProcess(0), nullptr);
    for (HWND window : {main, owned, untitled, hidden}) {
        DestroyWindow(window);
    }
}

} // namespace
} // namespace ardenwick
