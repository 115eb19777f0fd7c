#include "support/thread_stacks.h"

#include "common/unique_handle.h"
#include "support/wine_host.h"

#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace ardenwick::testing {
namespace {

constexpr DWORD DebuggerTimeLimitMs = 60000;

std::vector<DWORD> threadsOf(DWORD processId) {
    std::vector<DWORD> threads;
    // Fails with INVALID_HANDLE_VALUE, as CreateFileW does.
    const UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) {
        return threads;
    }
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == processId) {
            threads.push_back(entry.th32ThreadID);
        }
    }
    return threads;
}

std::string hex(DWORD value) {
    char text[16]{};
    std::snprintf(text, sizeof(text), "0x%lx", static_cast<unsigned long>(value));
    return text;
}

} // namespace

std::string threadStacksText(DWORD processId) {
    if (!runningUnderWine()) {
        return {};
    }
    const std::vector<DWORD> threads = threadsOf(processId);
    if (threads.empty()) {
        return {};
    }
    // winedbg attaches to this one process, prints each thread's stack and lets the process run on.
    std::string script;
    for (const DWORD thread : threads) {
        script += "bt " + hex(thread) + "\n";
    }
    script += "detach\nquit\n";

    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) {
        return {};
    }
    UniqueKernelHandle childInput(inputRead);
    UniqueKernelHandle scriptWriter(inputWrite);
    if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
        return {};
    }
    UniqueKernelHandle outputReader(outputRead);
    UniqueKernelHandle childOutput(outputWrite);
    SetHandleInformation(scriptWriter.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outputReader.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = childOutput.get();
    startup.hStdError = childOutput.get();
    std::wstring commandLine = L"winedbg.exe " + std::to_wstring(processId);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
        return {};
    }
    CloseHandle(info.hThread);
    const UniqueKernelHandle debugger(info.hProcess);
    childInput.reset();
    childOutput.reset();
    DWORD written = 0;
    WriteFile(scriptWriter.get(), script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
    scriptWriter.reset();

    // Read as it comes, so a full pipe never stalls the debugger; a debugger that hangs is ended.
    std::string output;
    const ULONGLONG deadline = GetTickCount64() + DebuggerTimeLimitMs;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(outputReader.get(), nullptr, 0, nullptr, &available, nullptr)) {
            break; // the debugger ended and its end of the pipe is closed
        }
        if (available > 0) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (!ReadFile(outputReader.get(), chunk.data(), available, &read, nullptr)) {
                break;
            }
            output.append(chunk.data(), read);
            continue;
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(debugger.get(), 1);
            output += "\n(winedbg gave no more within a minute)";
            break;
        }
        Sleep(50);
    }
    WaitForSingleObject(debugger.get(), 5000);
    return output;
}

} // namespace ardenwick::testing
