#include "launch/launcher_start.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

namespace ardenwick {
namespace {

/// ShellExecuteExW may hand the work to shell extensions that need COM on the calling thread.
class ComApartment {
public:
    ComApartment() noexcept
        : initialized_(
              SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (initialized_) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

} // namespace

LauncherStart startLauncher(const WidePath& launcher, const wchar_t* parameters, const WidePath& directory) {
    const ComApartment apartment;
    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    // Without SEE_MASK_FLAG_NO_UI the shell shows its own modal error box from this worker thread.
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"open";
    execute.lpFile = launcher.c_str();
    execute.lpParameters = parameters;
    execute.lpDirectory = directory.c_str();
    execute.nShow = SW_SHOWNORMAL;
    LauncherStart started;
    if (!ShellExecuteExW(&execute)) {
        started.error = GetLastError();
        return started;
    }
    started.process.reset(execute.hProcess);
    return started;
}

} // namespace ardenwick
