// Runs a program as its debugger and prints the image-load policy that its process entry hands to
// SetProcessMitigationPolicy, read from the call itself: Wine's function is a stub that keeps nothing,
// so no query can show which flags the entry asked for.
//   policy_call_recorder <program>     exits with the program's exit code, or 90 when it could not run it
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr unsigned char Breakpoint = 0xCC;

/// Sets a breakpoint on `target` in the debugged process; false while its DLL is not there yet.
bool arm(HANDLE process, void* target, unsigned char& original) {
    DWORD protection = 0;
    SIZE_T done = 0;
    if (!ReadProcessMemory(process, target, &original, 1, &done) || done != 1 ||
        !VirtualProtectEx(process, target, 1, PAGE_EXECUTE_READWRITE, &protection)) {
        return false;
    }
    const bool written = WriteProcessMemory(process, target, &Breakpoint, 1, &done) && done == 1;
    VirtualProtectEx(process, target, 1, protection, &protection);
    FlushInstructionCache(process, target, 1);
    return written;
}

void disarm(HANDLE process, void* target, unsigned char original) {
    DWORD protection = 0;
    SIZE_T done = 0;
    VirtualProtectEx(process, target, 1, PAGE_EXECUTE_READWRITE, &protection);
    WriteProcessMemory(process, target, &original, 1, &done);
    VirtualProtectEx(process, target, 1, protection, &protection);
    FlushInstructionCache(process, target, 1);
}

/// At the breakpoint: prints the call's arguments and the flags its record holds, then lets the call run.
void recordCall(HANDLE process, DWORD threadId, void* target, unsigned char original) {
    HANDLE thread = OpenThread(THREAD_GET_CONTEXT | THREAD_SET_CONTEXT, FALSE, threadId);
    CONTEXT context{};
    context.ContextFlags = CONTEXT_FULL;
    if (thread == nullptr || !GetThreadContext(thread, &context)) {
        std::printf("recorder: the thread's registers cannot be read\n");
    } else {
        DWORD flags = 0;
        SIZE_T done = 0;
        const bool read =
            ReadProcessMemory(process, reinterpret_cast<void*>(context.Rdx), &flags, sizeof(flags), &done) &&
            done == sizeof(flags);
        std::printf("entry call: SetProcessMitigationPolicy(%llu, %s%08lx, %llu)\n",
                    static_cast<unsigned long long>(context.Rcx), read ? "flags=" : "unreadable ",
                    static_cast<unsigned long>(flags), static_cast<unsigned long long>(context.R8));
        std::fflush(stdout);
        context.Rip = reinterpret_cast<DWORD64>(target);
        SetThreadContext(thread, &context);
    }
    if (thread != nullptr) {
        CloseHandle(thread);
    }
    disarm(process, target, original);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 90;
    }
    // The program looks the function up the same way, and system DLLs sit at the same address in
    // every process.
    void* target = reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy"));
    if (target == nullptr) {
        std::printf("recorder: no SetProcessMitigationPolicy\n");
        return 90;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &info)) {
        std::printf("recorder: cannot start the program (%lu)\n", GetLastError());
        return 90;
    }
    bool armed = false;
    bool called = false;
    unsigned char original = 0;
    DWORD exitCode = 90;
    for (;;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 60000)) {
            std::printf("recorder: no debug event in a minute\n");
            TerminateProcess(info.hProcess, 91);
            return 90;
        }
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            CloseHandle(event.u.CreateProcessInfo.hFile);
            armed = armed || arm(info.hProcess, target, original);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            CloseHandle(event.u.LoadDll.hFile);
            armed = armed || (!called && arm(info.hProcess, target, original));
            break;
        case EXCEPTION_DEBUG_EVENT: {
            const EXCEPTION_RECORD& exception = event.u.Exception.ExceptionRecord;
            if (exception.ExceptionCode == EXCEPTION_BREAKPOINT && armed && !called &&
                exception.ExceptionAddress == target) {
                called = true;
                recordCall(info.hProcess, event.dwThreadId, target, original);
            } else if (exception.ExceptionCode != EXCEPTION_BREAKPOINT) {
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            if (!called) {
                std::printf("entry call: none\n");
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
            return static_cast<int>(exitCode);
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
}
