#include "app/entry_point.h"

#include "app/command_line.h"
#include "app/instance_activation.h"
#include "app/instance_key.h"
#include "app/user_sid.h"
#include "common/unique_handle.h"
#include "installation/online_installation_service.h"
#include "ui/run_installation_window.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace ardenwick {
namespace {

std::u16string toUtf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

int runWithArguments(HINSTANCE instance, std::span<const std::wstring_view> arguments) {
    std::optional<StartupArguments> startup = parseStartupArguments(arguments);
    if (!startup) {
        return 1;
    }
    const std::optional<std::wstring> sid = currentUserSidText();
    if (!sid) {
        return 1;
    }
    std::uint64_t instanceKey = 0;
    std::optional<std::uint64_t> maintenanceKey;
    if (startup->maintenance) {
        instanceKey = maintenanceInstanceKey(toUtf16(startup->maintenance->installationRoot));
        maintenanceKey = instanceKey;
    }
    const std::wstring mutexName = instanceMutexName(*sid, maintenanceKey);

    UniqueKernelHandle instanceMutex(CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    const DWORD mutexError = GetLastError();
    // A copy running elevated holds the mutex under a DACL that this one may not open: CreateMutexW
    // then fails with ERROR_ACCESS_DENIED, and that copy is the running instance all the same.
    const bool heldElsewhere =
        instanceMutex ? mutexError == ERROR_ALREADY_EXISTS : mutexError == ERROR_ACCESS_DENIED;
    if (heldElsewhere) {
        activateRunningInstance(instanceKey);
        return 0;
    }
    if (!instanceMutex) {
        return 1;
    }

    OnlineInstallationService service(std::move(startup->maintenance));
    return runInstallationWindow(instance, service, instanceKey, [&service] { service.markWindowReady(); });
}

} // namespace

int runProgram(HINSTANCE instance) noexcept {
    try {
        int count = 0;
        UniqueLocalMemory<LPWSTR*> argumentArray(CommandLineToArgvW(GetCommandLineW(), &count));
        if (!argumentArray || count < 1) {
            return 1;
        }
        std::vector<std::wstring_view> arguments;
        arguments.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            arguments.emplace_back(argumentArray.get()[i]);
        }
        return runWithArguments(instance, arguments);
    } catch (...) {
        return 1;
    }
}

} // namespace ardenwick
