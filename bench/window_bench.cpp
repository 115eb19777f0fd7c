// Start-up and idle figures of the installer window, measured from outside (not a test):
//   window_bench <Ardenwick-Setup.exe> first-paint <runs>
//       per run: milliseconds from CreateProcess until the process's "ArdenwickInstallation" window is
//       visible; each run starts without saved state and the process is ended once the window is up.
//   window_bench <Ardenwick-Setup.exe> idle
//       starts the installer, waits until it shows a visible "Try again" button (the download of a test
//       build fails at once), prints "failure_screen_after_ms <ms>" and then waits for a line on stdin
//       before closing the window. The caller measures the process's CPU time meanwhile: Wine's
//       GetProcessTimes reports no CPU time for other processes, so that is done from the Linux side.
// Both modes delete %LOCALAPPDATA%\Ardenwick\Installation first: run them in a prefix of their own.
#include "common/unique_handle.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using ardenwick::UniqueCoTaskMemory;
using ardenwick::UniqueKernelHandle;

struct Started {
    UniqueKernelHandle process;
    DWORD processId = 0;
    LARGE_INTEGER startedAt{};
};

double millisecondsBetween(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

void forgetSavedState() {
    UniqueCoTaskMemory<PWSTR> folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.put())) && folder) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(folder.get()) / L"Ardenwick" / L"Installation",
                                    ignored);
    }
}

Started start(const std::wstring& setup) {
    std::wstring commandLine = L"\"" + setup + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    Started started;
    QueryPerformanceCounter(&started.startedAt);
    if (!CreateProcessW(setup.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &information)) {
        return started;
    }
    CloseHandle(information.hThread);
    started.process.reset(information.hProcess);
    started.processId = information.dwProcessId;
    return started;
}

HWND visibleWindowOf(DWORD processId) {
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t className[64]{};
            GetClassNameW(window, className, 64);
            if (owner == s->processId && std::wstring(className) == L"ArdenwickInstallation" &&
                IsWindowVisible(window)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool showsVisibleChild(HWND window, const wchar_t* text) {
    struct Search {
        const wchar_t* text;
        bool found;
    } search{text, false};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            wchar_t buffer[128]{};
            GetWindowTextW(child, buffer, 128);
            if (IsWindowVisible(child) && std::wstring(buffer) == s->text) {
                s->found = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void end(Started& started, HWND window) {
    if (window) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(started.process.get(), 10000) == WAIT_OBJECT_0) {
            return;
        }
    }
    TerminateProcess(started.process.get(), 1);
    WaitForSingleObject(started.process.get(), 10000);
}

int firstPaint(const std::wstring& setup, int runs) {
    std::vector<double> figures;
    for (int run = 0; run < runs; ++run) {
        forgetSavedState();
        Started started = start(setup);
        if (!started.process) {
            std::fprintf(stderr, "window_bench: CreateProcess failed (%lu)\n", GetLastError());
            return 1;
        }
        HWND window = nullptr;
        LARGE_INTEGER now{};
        while (!window) {
            if (WaitForSingleObject(started.process.get(), 1) == WAIT_OBJECT_0) {
                std::fprintf(stderr, "window_bench: the installer exited before showing its window\n");
                return 1;
            }
            window = visibleWindowOf(started.processId);
            QueryPerformanceCounter(&now);
            if (millisecondsBetween(started.startedAt, now) > 60000) {
                std::fprintf(stderr, "window_bench: no visible window after 60 s\n");
                end(started, nullptr);
                return 1;
            }
        }
        figures.push_back(millisecondsBetween(started.startedAt, now));
        TerminateProcess(started.process.get(), 1);
        WaitForSingleObject(started.process.get(), 10000);
    }
    std::printf("first_paint_ms");
    for (const double figure : figures) {
        std::printf(" %.1f", figure);
    }
    std::sort(figures.begin(), figures.end());
    std::printf("\nmedian_ms %.1f\n", figures[figures.size() / 2]);
    return 0;
}

int idle(const std::wstring& setup) {
    forgetSavedState();
    Started started = start(setup);
    if (!started.process) {
        std::fprintf(stderr, "window_bench: CreateProcess failed (%lu)\n", GetLastError());
        return 1;
    }
    const ULONGLONG deadline = GetTickCount64() + 120000;
    HWND window = nullptr;
    while (GetTickCount64() < deadline) {
        window = visibleWindowOf(started.processId);
        if (window && showsVisibleChild(window, L"Try again")) {
            break;
        }
        window = nullptr;
        if (WaitForSingleObject(started.process.get(), 50) == WAIT_OBJECT_0) {
            break;
        }
    }
    if (!window) {
        std::fprintf(stderr, "window_bench: the window never offered \"Try again\"\n");
        end(started, nullptr);
        return 1;
    }
    LARGE_INTEGER waited{};
    QueryPerformanceCounter(&waited);
    std::printf("failure_screen_after_ms %.0f\n", millisecondsBetween(started.startedAt, waited));
    std::fflush(stdout);
    char line[64];
    (void)std::fgets(line, sizeof line, stdin);
    end(started, visibleWindowOf(started.processId));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[2]) == L"first-paint") {
        return firstPaint(argv[1], std::max(1, _wtoi(argv[3])));
    }
    if (argc == 3 && std::wstring(argv[2]) == L"idle") {
        return idle(argv[1]);
    }
    std::fprintf(stderr, "usage: window_bench <Ardenwick-Setup.exe> first-paint <runs> | idle\n");
    return 2;
}
