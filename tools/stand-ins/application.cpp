// Stand-in for one version's application executable. It shows a titled top-level window and, unless
// told otherwise, reports itself ready in state\recovery.json. It ends when its window is closed or
// after ARDENWICK_STANDIN_APP_LIFETIME_MS (default 120000) so a test never leaves it behind for long.
//   --run-id <job name> --root <installation root> --mode <launcher scenario>
#include "stand_in_support.h"

#include <shellapi.h>

#include <nlohmann/json.hpp>

#include <string>

namespace {

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY || (message == WM_TIMER && wParam == 1)) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void writeRecovery(const std::filesystem::path& root, const std::wstring& runId, const std::wstring& mode) {
    nlohmann::ordered_json recovery;
    recovery["applicationReady"] = mode != L"never-ready";
    recovery["intent"] = "running";
    recovery["runId"] = standin::narrow(runId);
    if (standin::environmentText(L"ARDENWICK_STANDIN_APP_PID") == L"1") {
        recovery["applicationPid"] = GetCurrentProcessId();
    }
    standin::writeFileAtomically(root / L"state" / L"recovery.json", recovery.dump());
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring runId;
    std::wstring root;
    std::wstring mode = L"ready";
    for (int i = 1; i + 1 < count; i += 2) {
        const std::wstring name = arguments[i];
        if (name == L"--run-id") {
            runId = arguments[i + 1];
        } else if (name == L"--root") {
            root = arguments[i + 1];
        } else if (name == L"--mode") {
            mode = arguments[i + 1];
        }
    }
    LocalFree(arguments);
    standin::logLine(L"application " + mode + L" pid=" + std::to_wstring(GetCurrentProcessId()));

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"ArdenwickStandInApplication";
    RegisterClassW(&windowClass);
    HWND window =
        CreateWindowExW(0, windowClass.lpszClassName, L"Ardenwick", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        CW_USEDEFAULT, CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);
    const std::wstring lifetime = standin::environmentText(L"ARDENWICK_STANDIN_APP_LIFETIME_MS", L"120000");
    SetTimer(window, 1, static_cast<UINT>(std::stoul(lifetime)), nullptr);

    if (!root.empty()) {
        // Not part of the application's interface: lets a test end this process whatever its mode.
        standin::writeFileAtomically(std::filesystem::path(root) / L"state" / L"standin-application.pid",
                                     std::to_string(GetCurrentProcessId()));
    }
    if (!root.empty() && mode != L"protocol2") {
        writeRecovery(root, runId, mode);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
