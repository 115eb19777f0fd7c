// A child program for process tests:
//   process_tree_helper exit <code>
//   process_tree_helper spawn <marker> <delay-ms>      starts a grandchild and exits with 7 at once
//   process_tree_helper grandchild <marker> <delay-ms> sleeps, then writes <marker>
#include <windows.h>

#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::wstring mode = argv[1];
    if (mode == L"exit" && argc == 3) {
        return static_cast<int>(std::stoul(argv[2]));
    }
    if (mode == L"spawn" && argc == 4) {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring commandLine =
            L"\"" + std::wstring(self) + L"\" grandchild \"" + argv[2] + L"\" " + std::wstring(argv[3]);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &info)) {
            return 3;
        }
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return 7;
    }
    if (mode == L"grandchild" && argc == 4) {
        Sleep(static_cast<DWORD>(std::stoul(argv[3])));
        std::ofstream(argv[2]) << "grandchild done";
        return 0;
    }
    return 2;
}
