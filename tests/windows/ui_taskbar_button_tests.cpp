// The window's taskbar button, seen through a stand-in for the shell's TaskbarList object: Wine's own
// accepts every call and shows nothing, and no shell there sends "TaskbarButtonCreated". On Windows,
// Explorer sends it itself whenever it has made the window's button: after the first show and after
// every hide and show.
#include "recording_class_object.h"
#include "support/wine_host.h"
#include "ui/localized_strings.h"
#include "ui_view_host.h"

#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ardenwick {
namespace {

using test::eventually;
using test::ViewHost;

constexpr GUID TaskbarListClass{0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};

/// Records what the window asks of the taskbar, as the shell would receive it.
class RecordingTaskbar final : public test::RecordingClassObject<ITaskbarList3, std::string> {
public:
    HRESULT STDMETHODCALLTYPE HrInit() override { return record("init"); }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return record("AddTab"); }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return record("DeleteTab"); }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return record("ActivateTab"); }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return record("SetActiveAlt"); }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return record("Fullscreen"); }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG completed, ULONGLONG total) override {
        return record("value " + std::to_string(completed) + "/" + std::to_string(total));
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG flags) override {
        return record("state " + std::to_string(static_cast<int>(flags)));
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return record("RegisterTab"); }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return record("UnregisterTab"); }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return record("SetTabOrder"); }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return record("SetTabActive"); }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return record("Thumb");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return record("Thumb");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return record("Thumb"); }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return record("Overlay"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return record("Tooltip"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return record("Clip"); }

private:
    [[nodiscard]] bool implements(REFIID id) const override {
        return id == __uuidof(ITaskbarList) || id == __uuidof(ITaskbarList2) || id == __uuidof(ITaskbarList3);
    }
    HRESULT record(std::string call) { return add(std::move(call)); }
};

/// Waits until two of the window's 100 ms ticks went by (it reads the status twice a tick) and the one
/// under way has ended.
bool ticksPass(ViewHost& host) {
    const int start = host.service.statusReads.load();
    const bool passed = eventually([&] { return host.service.statusReads.load() >= start + 4; });
    SendMessageW(host.window(), WM_NULL, 0, 0);
    return passed;
}

using Calls = std::vector<std::string>;

/// True where Explorer's taskbar runs, which sends "TaskbarButtonCreated" on its own. Wine's explorer
/// makes a "Shell_TrayWnd" too, but sends no such message.
bool explorerMakesButtons() {
    return !testing::runningUnderWine() && FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

/// Whether a shell sends "TaskbarButtonCreated" after each show, and whether the test plays that shell
/// (posting the message from its own thread, as Explorer's arrives: at a moment of its own).
struct Shell {
    bool sends;
    bool playedByTest;
};

/// What the taskbar recorded after a show. Where a shell sends "TaskbarButtonCreated", that includes the
/// window's answer to it: "init" and the taskbar state the window had applied at that moment, which may be
/// the one from before the show when the message comes before the window's next tick.
Calls takeAfterShow(RecordingTaskbar& taskbar, ViewHost& host, const Shell& shell) {
    Calls calls = taskbar.take();
    if (!shell.sends) {
        return calls;
    }
    const bool came = eventually([&] {
        const Calls more = taskbar.take();
        calls.insert(calls.end(), more.begin(), more.end());
        return std::find(calls.begin(), calls.end(), "init") != calls.end();
    });
    EXPECT_TRUE(came) << "the shell made no button for the shown window";
    // The rest of the answer, and a tick after it.
    SendMessageW(host.window(), WM_NULL, 0, 0);
    ticksPass(host);
    const Calls rest = taskbar.take();
    calls.insert(calls.end(), rest.begin(), rest.end());
    return calls;
}

/// The last call that starts with `prefix`, or nothing.
std::string lastCall(const Calls& calls, std::string_view prefix) {
    const auto found = std::find_if(calls.rbegin(), calls.rend(),
                                    [&](const std::string& call) { return call.starts_with(prefix); });
    return found != calls.rend() ? *found : std::string();
}

void followsTheStatus(const Shell& shell) {
    const UINT created = RegisterWindowMessageW(L"TaskbarButtonCreated");
    ASSERT_NE(created, 0u);
    RecordingTaskbar taskbar;
    std::atomic<HRESULT> registered{E_FAIL};
    // Registered in the window's own apartment, where the window looks the class up.
    ViewHost host(stringsForLanguage(L"en-US"), [&](HWND) {
        DWORD cookie = 0;
        registered = CoRegisterClassObject(TaskbarListClass, static_cast<IClassFactory*>(&taskbar),
                                           CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    });
    ASSERT_TRUE(host.start());
    ASSERT_EQ(registered.load(), S_OK);
    if (shell.playedByTest) {
        PostMessageW(host.window(), created, 0, 0);
    }
    if (shell.sends) {
        // Explorer's own message for the first show, answered with the status the window starts with.
        Calls first;
        ASSERT_TRUE(eventually([&] {
            const Calls more = taskbar.take();
            first.insert(first.end(), more.begin(), more.end());
            return !first.empty();
        }));
        SendMessageW(host.window(), WM_NULL, 0, 0);
        EXPECT_EQ(first.front(), "init");
        taskbar.take();
    }

    InstallationStatus status;
    status.kind = InstallationKind::Downloading;
    status.doneBytes = 25;
    status.totalBytes = 100;
    host.service.setStatus(status);
    ASSERT_TRUE(eventually([&] { return SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0) == 25; }));
    if (shell.sends) {
        ASSERT_TRUE(ticksPass(host));
        EXPECT_EQ(taskbar.take(), (Calls{"state 2", "value 25/100"})) << "the button exists already";
    } else {
        EXPECT_EQ(taskbar.take(), Calls{}) << "nothing before the shell has made the button";
    }

    SendMessageW(host.window(), created, 0, 0);
    EXPECT_EQ(taskbar.take(), (Calls{"init", "state 2", "value 25/100"}));

    status.doneBytes = 50;
    host.service.setStatus(status);
    ASSERT_TRUE(eventually([&] { return SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0) == 50; }));
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 2", "value 50/100"})) << "once per change, not per tick";

    host.service.setKind(InstallationKind::Verifying);
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 1"}));

    // Hidden, the window's button goes; shown again, it picks up the status.
    host.service.setStatus(status);
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 2", "value 50/100"}));
    SendMessageW(host.window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 0"}));
    PostMessageW(host.window(), ActivateInstanceMessage, 0, 0);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.window()) != FALSE; }));
    if (shell.playedByTest) {
        PostMessageW(host.window(), created, 0, 0);
    }
    ASSERT_TRUE(ticksPass(host));
    const Calls afterShow = takeAfterShow(taskbar, host, shell);
    if (shell.sends) {
        // In whatever order the shell's message and the window's tick came, the button ends with the status.
        EXPECT_EQ(std::count(afterShow.begin(), afterShow.end(), "init"), 1)
            << ::testing::PrintToString(afterShow);
        EXPECT_EQ(lastCall(afterShow, "state "), "state 2") << ::testing::PrintToString(afterShow);
        EXPECT_EQ(lastCall(afterShow, "value "), "value 50/100") << ::testing::PrintToString(afterShow);
        for (const std::string& call : afterShow) {
            EXPECT_TRUE(call == "init" || call.starts_with("state ") || call.starts_with("value ")) << call;
        }
    } else {
        EXPECT_EQ(afterShow, (Calls{"state 2", "value 50/100"}));
    }

    // A shell that restarts makes the button again.
    SendMessageW(host.window(), created, 0, 0);
    EXPECT_EQ(taskbar.take(), (Calls{"init", "state 2", "value 50/100"}));

    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 4", "value 100/100"}));
    host.service.setKind(InstallationKind::AlreadyInstalled);
    ASSERT_TRUE(ticksPass(host));
    EXPECT_EQ(taskbar.take(), (Calls{"state 0"}));
}

TEST(TaskbarButton, FollowsTheStatusOnceTheShellHasMadeTheButton) {
    // Where no shell sends the message, the test alone does; on Windows, Explorer's own comes as well.
    followsTheStatus({explorerMakesButtons(), false});
}

// The same with a shell that sends the message after each show. Under Wine the test plays Explorer.
TEST(TaskbarButton, AnswersTheShellsOwnMessageAfterEachShow) {
    const bool explorer = explorerMakesButtons();
    followsTheStatus({true, !explorer});
}

} // namespace
} // namespace ardenwick
