// What assistive technology and keyboard users get from the real window: the heading and detail marked as
// live regions, live-region events as the texts change, and the focus on each screen's primary action.
#include "recording_class_object.h"
#include "ui/localized_strings.h"
#include "ui_view_host.h"

#include <oleacc.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ardenwick {
namespace {

using test::english;
using test::eventually;
using test::ViewHost;
using test::windowText;

constexpr DWORD LiveRegionChanged = 0x8019; // EVENT_OBJECT_LIVEREGIONCHANGED
// An object id no control uses: the test's own marker in the event stream.
constexpr LONG SentinelObject = 0x5E47;

struct LiveRegionEvent {
    HWND control;
    std::u16string text; // the control's text when the event arrived

    friend bool operator==(const LiveRegionEvent&, const LiveRegionEvent&) = default;
};

/// Records this process's EVENT_OBJECT_LIVEREGIONCHANGED with an out-of-context WinEvent hook, as a
/// screen reader receives it, on a thread of its own with a message loop.
class LiveRegionRecorder {
public:
    LiveRegionRecorder() {
        thread_ = std::thread([this] {
            recorder = this;
            threadId_ = GetCurrentThreadId();
            HWINEVENTHOOK hook = SetWinEventHook(LiveRegionChanged, LiveRegionChanged, nullptr, onEvent,
                                                 GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
            MSG message{};
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before anyone posts
            hooked_ = hook != nullptr ? 1 : -1;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                DispatchMessageW(&message);
            }
            if (hook != nullptr) {
                UnhookWinEvent(hook);
            }
        });
        eventually([this] { return hooked_.load() != 0; });
    }
    LiveRegionRecorder(const LiveRegionRecorder&) = delete;
    LiveRegionRecorder& operator=(const LiveRegionRecorder&) = delete;
    ~LiveRegionRecorder() {
        PostThreadMessageW(threadId_.load(), WM_QUIT, 0, 0);
        thread_.join();
    }

    [[nodiscard]] bool hooked() const { return hooked_.load() == 1; }

    /// Waits until every event the window raised so far has arrived: the window's current message ends
    /// before WM_NULL returns, and the marker raised after it comes behind the window's events.
    [[nodiscard]] bool settle(HWND window) {
        SendMessageW(window, WM_NULL, 0, 0);
        const int expected = ++sentinelsRaised_;
        NotifyWinEvent(LiveRegionChanged, window, SentinelObject, CHILDID_SELF);
        return eventually([&] { return sentinelsSeen_.load() >= expected; });
    }

    /// The live-region events recorded since the last call.
    std::vector<LiveRegionEvent> takeLiveRegionEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(liveRegionEvents_, {});
    }

private:
    static void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
        if (recorder == nullptr) {
            return;
        }
        if (event != LiveRegionChanged) {
            return;
        }
        if (object == SentinelObject) {
            ++recorder->sentinelsSeen_;
            return;
        }
        // Its place in the list first: under Wine the next event can arrive while GetWindowTextW waits
        // for the window's thread.
        std::size_t index = 0;
        {
            std::lock_guard lock(recorder->mutex_);
            index = recorder->liveRegionEvents_.size();
            recorder->liveRegionEvents_.push_back({window, {}});
        }
        std::u16string text = windowText(window);
        std::lock_guard lock(recorder->mutex_);
        recorder->liveRegionEvents_[index].text = std::move(text);
    }

    static thread_local LiveRegionRecorder* recorder;

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<int> hooked_{0};
    int sentinelsRaised_ = 0;
    std::atomic<int> sentinelsSeen_{0};
    std::mutex mutex_;
    std::vector<LiveRegionEvent> liveRegionEvents_;
};

thread_local LiveRegionRecorder* LiveRegionRecorder::recorder = nullptr;

/// Waits until at least `ticks` of the window's 100 ms ticks went by: it reads the status twice a tick.
bool ticksPass(ViewHost& host, int ticks) {
    const int start = host.service.statusReads.load();
    return eventually([&] { return host.service.statusReads.load() >= start + 2 * ticks; });
}

std::string narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

std::string describe(ViewHost& host, const std::vector<LiveRegionEvent>& events) {
    std::string text;
    for (const LiveRegionEvent& event : events) {
        const char* name = event.control == host.heading()  ? "heading"
                           : event.control == host.detail() ? "detail"
                                                            : "other";
        text += std::string(name) + ": \"" + narrow(event.text) + "\"\n";
    }
    return text;
}

constexpr GUID AccPropServicesClass{
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID AccPropServicesInterface{
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID LiveSettingProperty{
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};

struct PropServicesCall {
    std::string what;
    HWND control;
    bool controlAlive;
};

/// Records the window's annotations, as the system's IAccPropServices would receive them (Wine's has
/// none: E_NOTIMPL).
class RecordingPropServices final : public test::RecordingClassObject<IAccPropServices, PropServicesCall> {
public:
    using Call = PropServicesCall;

    HRESULT STDMETHODCALLTYPE SetHwndProp(HWND control, DWORD object, DWORD child, MSAAPROPID property,
                                          VARIANT value) override {
        std::string what = "set " + describe(object, child, &property, 1);
        what += value.vt == VT_I4 ? " " + std::to_string(value.lVal) : " vt " + std::to_string(value.vt);
        return record(std::move(what), control);
    }
    HRESULT STDMETHODCALLTYPE ClearHwndProps(HWND control, DWORD object, DWORD child,
                                             const MSAAPROPID* properties, int count) override {
        return record("clear " + describe(object, child, properties, count), control);
    }

    HRESULT STDMETHODCALLTYPE SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                            AnnoScope) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE SetHwndPropStr(HWND, DWORD, DWORD, MSAAPROPID, LPCWSTR) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                                AnnoScope) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*,
                                                          DWORD*) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return other(); }
    HRESULT STDMETHODCALLTYPE SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return other(); }
    HRESULT STDMETHODCALLTYPE SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                                 AnnoScope) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override {
        return other();
    }
    HRESULT STDMETHODCALLTYPE DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
        return other();
    }

private:
    static std::string describe(DWORD object, DWORD child, const MSAAPROPID* properties, int count) {
        std::string text =
            static_cast<LONG>(object) == OBJID_CLIENT ? "client" : "object " + std::to_string(object);
        text += child == CHILDID_SELF ? " self" : " child " + std::to_string(child);
        for (int index = 0; index < count; ++index) {
            text += properties[index] == LiveSettingProperty ? " LiveSetting" : " other property";
        }
        return text;
    }
    [[nodiscard]] bool implements(REFIID id) const override { return id == AccPropServicesInterface; }
    HRESULT record(std::string what, HWND control) {
        return add({std::move(what), control, IsWindow(control) != FALSE});
    }
    HRESULT other() { return record("another call", nullptr); }
};

/// The calls with each control named: "heading: set client self LiveSetting 1".
std::vector<std::string> named(const std::vector<RecordingPropServices::Call>& calls, HWND heading,
                               HWND detail) {
    std::vector<std::string> result;
    for (const auto& call : calls) {
        const char* name = call.control == heading ? "heading" : call.control == detail ? "detail" : "other";
        result.push_back(std::string(name) + ": " + call.what + (call.controlAlive ? "" : " (control gone)"));
    }
    return result;
}

// UI Automation's LiveSetting (1, polite) on the heading's and detail's own client objects: a screen
// reader then reads their new texts out; taken off again while the controls still exist.
TEST(AccessibleWindow, HeadingAndDetailAreMarkedPoliteLiveRegions) {
    RecordingPropServices services;
    HRESULT registered = E_FAIL;
    DWORD cookie = 0;
    {
        ViewHost host(english());
        // Registered in the window's own apartment before the window is made: it marks them as it does.
        host.aroundView(
            [&] {
                (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
                registered =
                    CoRegisterClassObject(AccPropServicesClass, static_cast<IClassFactory*>(&services),
                                          CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
            },
            [&] {
                CoRevokeClassObject(cookie);
                CoUninitialize();
            });
        ASSERT_TRUE(host.start());
        ASSERT_EQ(registered, S_OK);
        const HWND heading = host.heading();
        const HWND detail = host.detail();
        EXPECT_EQ(named(services.take(), heading, detail),
                  (std::vector<std::string>{"heading: set client self LiveSetting 1",
                                            "detail: set client self LiveSetting 1"}));

        host.service.setKind(InstallationKind::Verifying);
        ASSERT_TRUE(eventually([&] { return windowText(heading) == u"Checking your download..."; }));
        EXPECT_EQ(named(services.take(), heading, detail), std::vector<std::string>{}) << "marked once";

        PostMessageW(host.window(), WM_CLOSE, 0, 0);
        host.service.setKind(InstallationKind::InstallationFailed);
        host.join();
        EXPECT_EQ(named(services.take(), heading, detail),
                  (std::vector<std::string>{"heading: clear client self LiveSetting",
                                            "detail: clear client self LiveSetting"}));
    }
}

TEST(AccessibleWindow, LiveRegionsAnnounceEachNewTextOnce) {
    LiveRegionRecorder recorder;
    ASSERT_TRUE(recorder.hooked());
    ViewHost host(english());
    ASSERT_TRUE(host.start());
    ASSERT_TRUE(recorder.settle(host.window()));
    EXPECT_EQ(recorder.takeLiveRegionEvents(), std::vector<LiveRegionEvent>{})
        << "the first screen is read with the window, not announced";

    InstallationStatus status;
    status.kind = InstallationKind::Downloading;
    host.service.setStatus(status);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Downloading Ardenwick..."; }));
    ASSERT_TRUE(recorder.settle(host.window()));
    std::vector<LiveRegionEvent> events = recorder.takeLiveRegionEvents();
    EXPECT_EQ(events, (std::vector<LiveRegionEvent>{{host.heading(), u"Downloading Ardenwick..."}}))
        << describe(host, events);

    // Percentages are the bar's own value, not announcements; nor is a tick that changes nothing.
    for (const std::uint64_t done : {10u, 50u, 90u}) {
        status.doneBytes = done;
        status.totalBytes = 100;
        host.service.setStatus(status);
        ASSERT_TRUE(eventually([&] {
            return SendMessageW(host.progressBar(), PBM_GETPOS, 0, 0) == static_cast<LRESULT>(done);
        }));
    }
    ASSERT_TRUE(ticksPass(host, 3));
    ASSERT_TRUE(recorder.settle(host.window()));
    events = recorder.takeLiveRegionEvents();
    EXPECT_EQ(events, std::vector<LiveRegionEvent>{}) << describe(host, events);

    host.service.setKind(InstallationKind::Verifying);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Checking your download..."; }));
    ASSERT_TRUE(recorder.settle(host.window()));
    events = recorder.takeLiveRegionEvents();
    EXPECT_EQ(events, (std::vector<LiveRegionEvent>{{host.heading(), u"Checking your download..."}}))
        << describe(host, events);

    const std::u16string downloadFailed =
        u"The download couldn't finish. Check your connection and available disk space, then try again.";
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return windowText(host.detail()) == downloadFailed; }));
    ASSERT_TRUE(ticksPass(host, 3));
    ASSERT_TRUE(recorder.settle(host.window()));
    events = recorder.takeLiveRegionEvents();
    EXPECT_EQ(events, (std::vector<LiveRegionEvent>{{host.heading(), u"Installation couldn't finish."},
                                                    {host.detail(), downloadFailed}}))
        << describe(host, events);

    // "Try again": a new heading; the emptied detail line is hidden and has nothing to say.
    SendMessageW(host.primaryButton(), BM_CLICK, 0, 0);
    host.service.setKind(InstallationKind::Downloading);
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Downloading Ardenwick..."; }));
    ASSERT_TRUE(ticksPass(host, 2));
    ASSERT_TRUE(recorder.settle(host.window()));
    events = recorder.takeLiveRegionEvents();
    EXPECT_EQ(events, (std::vector<LiveRegionEvent>{{host.heading(), u"Downloading Ardenwick..."}}))
        << describe(host, events);
    EXPECT_EQ(windowText(host.detail()), u"");
}

struct Screen {
    InstallationKind kind;
    const char* operation;
    std::u16string heading;
    int focusedId; // 1 primary, 2 secondary, 3 tertiary, 4 close
};

TEST(AccessibleWindow, FocusFollowsEachScreen) {
    ViewHost host(english(), [](HWND window) { SetForegroundWindow(window); });
    ASSERT_TRUE(host.start());

    // Other programs' windows may take the activation from the window at any time during the run, and an
    // inactive window's thread has no focus. The focus the user meets is the one the window gives itself
    // when it is active again, so it is read with the window made the active one.
    const auto focusedId = [&] { return GetDlgCtrlID(host.focusedControl()); };
    const auto activeFocusedId = [&] {
        if (GetForegroundWindow() != host.window()) {
            SetForegroundWindow(host.window());
        }
        return focusedId();
    };
    const auto expectFocusOn = [&](int id) {
        EXPECT_TRUE(eventually([&] { return activeFocusedId() == id; }))
            << "the focus is on control id " << focusedId() << ", not " << id;
        HWND focused = host.focusedControl();
        EXPECT_TRUE(focused != nullptr && IsWindowVisible(focused) && IsWindowEnabled(focused))
            << "the focus is on a hidden or disabled control";
    };
    expectFocusOn(4);

    const Screen screens[] = {
        {InstallationKind::Downloading, "", u"Downloading Ardenwick...", 4},
        {InstallationKind::InstallationFailed, "download_failed", u"Installation couldn't finish.", 1},
        {InstallationKind::Verifying, "", u"Checking your download...", 4},
        {InstallationKind::InstallationFailed, "unsupported_architecture", u"Installation couldn't finish.",
         2},
        {InstallationKind::UpdateFailed, "", u"Couldn\u2019t install the update", 1},
        {InstallationKind::Installing, "", u"Installing Ardenwick...", 4},
        {InstallationKind::LaunchFailed, "", u"You're all set.", 1},
        {InstallationKind::Launching, "", u"Opening Ardenwick...", 4},
        {InstallationKind::AlreadyInstalled, "", u"Ardenwick is already installed.", 1},
        {InstallationKind::InstallationCancelled, "", u"Installation canceled.", 1},
    };
    for (const Screen& screen : screens) {
        SCOPED_TRACE(narrow(screen.heading) + " " + screen.operation);
        host.service.setKind(screen.kind, screen.operation);
        ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == screen.heading; }));
        expectFocusOn(screen.focusedId);
    }

    // Where the user moved the focus stays, tick after tick, while the screen keeps its buttons.
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(host.tertiaryButton()) != FALSE; }));
    expectFocusOn(1);
    PostMessageW(host.primaryButton(), WM_KEYDOWN, VK_TAB, 1);
    PostMessageW(host.primaryButton(), WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC0000001));
    ASSERT_TRUE(eventually([&] { return activeFocusedId() != 1 && activeFocusedId() != 0; }));
    const int chosen = focusedId();
    host.service.setKind(InstallationKind::InstallationFailed, "download_failed");
    ASSERT_TRUE(ticksPass(host, 3));
    expectFocusOn(chosen);

    // Enter keeps its meaning on a screen whose focus moved there: "Try again".
    host.service.setKind(InstallationKind::ResultUnknown, "nsis_result_unknown");
    ASSERT_TRUE(eventually([&] { return windowText(host.heading()) == u"Something went wrong."; }));
    expectFocusOn(1);
    PostMessageW(host.primaryButton(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_TRUE(eventually([&] { return host.service.starts.load() == 2; }));
}

} // namespace
} // namespace ardenwick
