#include "support/installer_window.h"
#include "support/process_runner.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick {
namespace {

using testing::executableDirectory;
using testing::quoteArgument;
using testing::runAndWait;

constexpr std::uint32_t generousTimeoutMs = 60000;

std::filesystem::path setupProgram() {
    return executableDirectory() / L"Ardenwick-Setup.exe";
}

std::filesystem::path freshDirectory(const wchar_t* name) {
    auto directory = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    return directory;
}

const std::wstring defaultEventName = L"Local\\Ardenwick.MaintenanceUi.1";

// The test process stands in for the launcher: it stays alive, so an accepted maintenance instance waits
// for the hand-off with its window up instead of finishing at once because its launcher is gone.
std::wstring ownProcessId() {
    return std::to_wstring(GetCurrentProcessId());
}

std::wstring maintenanceArguments(const std::wstring& root, const std::wstring& applicationId = L"11",
                                  const std::wstring& launcherId = ownProcessId(),
                                  const std::wstring& eventName = defaultEventName) {
    return L"--maintenance " + quoteArgument(root) + L" " + quoteArgument(root + L"\\setup.exe") + L" " +
           quoteArgument(applicationId) + L" " + quoteArgument(launcherId) + L" " + quoteArgument(eventName);
}

// Computed here without the program's code: the SID from the token, FNV-1a over UTF-16LE bytes.
std::wstring ownSidText() {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<BYTE> buffer(1024);
    DWORD size = 0;
    EXPECT_TRUE(
        GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size));
    CloseHandle(token);
    LPWSTR text = nullptr;
    EXPECT_TRUE(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text));
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

unsigned long long referenceKey(const std::wstring& root) {
    unsigned long long hash = 14695981039346656037ULL;
    for (wchar_t unit : root) {
        for (int shift : {0, 8}) {
            hash ^= (static_cast<unsigned>(unit) >> shift) & 0xFFU;
            hash *= 1099511628211ULL;
        }
    }
    return hash | 1ULL;
}

class HeldMutex {
public:
    explicit HeldMutex(const std::wstring& name) : handle_(CreateMutexW(nullptr, TRUE, name.c_str())) {
        alreadyExisted_ = GetLastError() == ERROR_ALREADY_EXISTS;
    }
    ~HeldMutex() {
        if (handle_) {
            ReleaseMutex(handle_);
            CloseHandle(handle_);
        }
    }
    HeldMutex(const HeldMutex&) = delete;
    HeldMutex& operator=(const HeldMutex&) = delete;
    [[nodiscard]] bool ownedByUs() const { return handle_ != nullptr && !alreadyExisted_; }

private:
    HANDLE handle_;
    bool alreadyExisted_ = false;
};

// The instance mutex as a copy running elevated leaves it: it exists, but its DACL (here an empty one,
// which grants nobody anything) refuses this user, so CreateMutexW fails with ERROR_ACCESS_DENIED.
class UnopenableMutex {
public:
    explicit UnopenableMutex(const std::wstring& name) {
        SECURITY_DESCRIPTOR descriptor{};
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ACL acl{};
        InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
        SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, FALSE);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
        handle_ = CreateMutexW(&attributes, TRUE, name.c_str());
        created_ = handle_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    }
    ~UnopenableMutex() {
        if (handle_) {
            ReleaseMutex(handle_);
            CloseHandle(handle_);
        }
    }
    UnopenableMutex(const UnopenableMutex&) = delete;
    UnopenableMutex& operator=(const UnopenableMutex&) = delete;
    [[nodiscard]] bool created() const { return created_; }

private:
    HANDLE handle_ = nullptr;
    bool created_ = false;
};

// A window of the installer's class in this process, as the running instance's window; counts the
// activation messages it is sent.
class StandInInstanceWindow {
public:
    StandInInstanceWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ArdenwickInstallation";
        registered_ = RegisterClassW(&windowClass) != 0;
        window_ = CreateWindowExW(0, L"ArdenwickInstallation", L"Ardenwick", WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&activations_));
    }
    ~StandInInstanceWindow() {
        DestroyWindow(window_);
        UnregisterClassW(L"ArdenwickInstallation", GetModuleHandleW(nullptr));
    }
    StandInInstanceWindow(const StandInInstanceWindow&) = delete;
    StandInInstanceWindow& operator=(const StandInInstanceWindow&) = delete;
    [[nodiscard]] bool exists() const { return registered_ && window_ != nullptr; }
    [[nodiscard]] int activations() const { return activations_; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == 0x8000 + 42 && wParam == 0 && lParam == 0) {
            ++*reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    bool registered_ = false;
    HWND window_ = nullptr;
    int activations_ = 0;
};

// Runs the program with no arguments while this thread pumps its messages; its exit code, or nothing.
std::optional<DWORD> runWhilePumping() {
    const testing::StartedProcess started = testing::startProgram(setupProgram(), L"");
    if (!started.process) {
        return std::nullopt;
    }
    HANDLE process = started.process.get();
    const ULONGLONG deadline = GetTickCount64() + generousTimeoutMs;
    while (MsgWaitForMultipleObjects(1, &process, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(process, 99);
            return std::nullopt;
        }
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

TEST(ProgramEntry, EveryMalformedCommandLineExitsWithOneWithoutTouchingDisk) {
    const auto root = freshDirectory(L"ardenwick-entry-root");
    const std::wstring r = root.wstring();
    const std::wstring longEvent = L"Local\\Ardenwick.MaintenanceUi." + std::wstring(99, L'x');
    ASSERT_EQ(longEvent.size(), 129U);
    const std::vector<std::wstring> commandLines = {
        L"/S",
        L"--maintenance",
        L"--maintenance " + quoteArgument(r) + L" " + quoteArgument(r + L"\\setup.exe") + L" 1 2",
        maintenanceArguments(r) + L" extra",
        L"--MAINTENANCE " + maintenanceArguments(r).substr(14),
        L"--Maintenance " + maintenanceArguments(r).substr(14),
        maintenanceArguments(r, L"4294967296"),
        maintenanceArguments(r, L"1", L""),
        maintenanceArguments(r, L"-1"),
        maintenanceArguments(r, L" 1"),
        maintenanceArguments(r, L"0x1F"),
        maintenanceArguments(r, L"1e3"),
        maintenanceArguments(L"Apps\\Ardenwick"),
        maintenanceArguments(L"C:"),
        maintenanceArguments(L"C:Apps"),
        maintenanceArguments(r, L"1", L"2", longEvent),
        maintenanceArguments(r, L"1", L"2", L"Global\\Ardenwick.MaintenanceUi.1"),
    };
    for (const auto& commandLine : commandLines) {
        EXPECT_EQ(runAndWait(setupProgram(), commandLine, generousTimeoutMs), 1U) << commandLine;
    }
    EXPECT_TRUE(std::filesystem::is_empty(root)) << "a refused command line must not create files";
}

// The launcher's three hand-off events, held while a maintenance instance is watched. Without them the
// instance gives up the hand-off at once and its window may close before anyone sees it.
class HandoffEvents {
public:
    explicit HandoffEvents(const std::wstring& name) {
        if (name.empty()) {
            return;
        }
        for (const auto& suffix : {L"", L".go", L".cancel"}) {
            events_.push_back(CreateEventW(nullptr, TRUE, FALSE, (name + suffix).c_str()));
        }
    }
    ~HandoffEvents() {
        for (HANDLE event : events_) {
            if (event) {
                CloseHandle(event);
            }
        }
    }
    HandoffEvents(const HandoffEvents&) = delete;
    HandoffEvents& operator=(const HandoffEvents&) = delete;

private:
    std::vector<HANDLE> events_;
};

bool showsWindow(const std::wstring& commandLine, const std::wstring& eventName = defaultEventName) {
    const HandoffEvents events(eventName);
    testing::WatchedProgram program(setupProgram(), commandLine);
    // Any screen at all: the program got past its start-up.
    return program.waitForScreen(L"", generousTimeoutMs);
}

TEST(ProgramEntry, AcceptedMaintenanceLinesGetAsFarAsTheWindow) {
    const auto root = freshDirectory(L"ardenwick-entry-accepted");
    const std::wstring r = root.wstring();
    const std::wstring event128 = L"Local\\Ardenwick.MaintenanceUi." + std::wstring(98, L'y');
    const std::wstring launcher = ownProcessId();
    const std::vector<std::pair<std::wstring, std::wstring>> accepted = {
        {maintenanceArguments(r, L"0", L"00" + launcher), defaultEventName},
        {maintenanceArguments(r, L"4294967295"), defaultEventName},
        {maintenanceArguments(r, L"1", launcher, L""), L""},
        {maintenanceArguments(r, L"1", launcher, event128), event128},
    };
    for (const auto& [commandLine, eventName] : accepted) {
        EXPECT_TRUE(showsWindow(commandLine, eventName)) << commandLine;
    }
}

TEST(InstanceLock, HeldNormalLockSendsASecondNormalInstanceAwayWithZero) {
    HeldMutex lock(L"Global\\Ardenwick.Installation." + ownSidText());
    ASSERT_TRUE(lock.ownedByUs());
    // No window answers, so the second instance polls for its 50 passes and exits with 0.
    EXPECT_EQ(runAndWait(setupProgram(), L"", generousTimeoutMs), 0U);
    // A maintenance instance uses its own mutex and is not held back.
    const auto root = freshDirectory(L"ardenwick-lock-maintenance");
    EXPECT_TRUE(showsWindow(maintenanceArguments(root.wstring())));
}

TEST(InstanceLock, MaintenanceLockIsPerInstallationRoot) {
    const auto heldRoot = freshDirectory(L"ardenwick-lock-held");
    const auto otherRoot = freshDirectory(L"ardenwick-lock-other");
    HeldMutex lock(L"Global\\Ardenwick.Installation." + ownSidText() + L".Maintenance." +
                   std::to_wstring(referenceKey(heldRoot.wstring())));
    ASSERT_TRUE(lock.ownedByUs());
    EXPECT_EQ(runAndWait(setupProgram(), maintenanceArguments(heldRoot.wstring()), generousTimeoutMs), 0U);
    EXPECT_TRUE(showsWindow(maintenanceArguments(otherRoot.wstring())));
    EXPECT_TRUE(showsWindow(L""));
}

// A copy started with "Run as administrator" holds the lock under a DACL that a normal copy may not open:
// the lock is held all the same, so the normal copy activates that copy's window rather than failing.
TEST(InstanceLock, ALockThatCannotBeOpenedIsHeldByTheRunningInstance) {
    const UnopenableMutex lock(L"Global\\Ardenwick.Installation." + ownSidText());
    ASSERT_TRUE(lock.created());
    ASSERT_EQ(CreateMutexW(nullptr, FALSE, (L"Global\\Ardenwick.Installation." + ownSidText()).c_str()),
              nullptr);
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED))
        << "the lock as an elevated copy holds it";
    {
        const StandInInstanceWindow window;
        ASSERT_TRUE(window.exists());
        EXPECT_EQ(runWhilePumping(), std::optional<DWORD>(0));
        EXPECT_EQ(window.activations(), 1) << "the running window is activated once";
    }
    // No window answers: the copy polls for its 50 passes, as for a lock it could open, and exits with 0.
    EXPECT_EQ(runWhilePumping(), std::optional<DWORD>(0));
}

} // namespace
} // namespace ardenwick
