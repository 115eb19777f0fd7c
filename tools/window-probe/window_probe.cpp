// Watches the installer window from outside and prints what it shows each time that changes:
//   window_probe [timeout-seconds]
//   window_probe --close            asks the window to close, as its close button does
// One line per change: seconds since the probe started, then the texts of the window's controls
// separated by " | ". Ends when the window has gone (after having been seen) or at the timeout.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

BOOL CALLBACK collectText(HWND child, LPARAM parameter) {
    auto* texts = reinterpret_cast<std::vector<std::wstring>*>(parameter);
    if (!IsWindowVisible(child)) {
        return TRUE;
    }
    const int length = GetWindowTextLengthW(child);
    if (length <= 0) {
        return TRUE;
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(child, text.data(), length + 1)));
    texts->push_back(text);
    return TRUE;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--close") {
        HWND window = FindWindowW(L"ArdenwickInstallation", nullptr);
        return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    const ULONGLONG timeoutMs = (argc > 1 ? std::wcstoull(argv[1], nullptr, 10) : 600) * 1000;
    const ULONGLONG start = GetTickCount64();
    std::wstring previous;
    bool seen = false;
    while (GetTickCount64() - start < timeoutMs) {
        HWND window = FindWindowW(L"ArdenwickInstallation", nullptr);
        if (!window) {
            if (seen) {
                std::printf("%.1f | (window closed)\n", (GetTickCount64() - start) / 1000.0);
                std::fflush(stdout);
                return 0;
            }
            Sleep(100);
            continue;
        }
        seen = true;
        std::vector<std::wstring> texts;
        EnumChildWindows(window, collectText, reinterpret_cast<LPARAM>(&texts));
        std::wstring line;
        for (const auto& text : texts) {
            line += (line.empty() ? L"" : L" | ") + text;
        }
        if (!IsWindowVisible(window)) {
            line = L"(hidden) " + line;
        }
        if (line != previous) {
            previous = line;
            std::printf("%.1f | %s\n", (GetTickCount64() - start) / 1000.0, utf8(line).c_str());
            std::fflush(stdout);
        }
        Sleep(100);
    }
    return 1;
}
