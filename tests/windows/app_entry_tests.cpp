#include "support/installer_window.h"
#include "support/process_runner.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
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

} // namespace
} // namespace ardenwick
