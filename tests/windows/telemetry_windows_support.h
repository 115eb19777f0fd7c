#pragma once

#include "common/unique_handle.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace ardenwick::testing {

inline std::filesystem::path telemetryTestDirectory() {
    wchar_t path[MAX_PATH * 4]{};
    GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return std::filesystem::path(path).parent_path();
}

/// Another process owning a named mutex until this object goes away.
class MutexHolder {
public:
    explicit MutexHolder(const std::wstring& mutexName) {
        const std::wstring suffix =
            std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(GetTickCount64());
        const std::wstring readyName = L"Local\\Ardenwick.Test.Ready." + suffix;
        const std::wstring releaseName = L"Local\\Ardenwick.Test.Release." + suffix;
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        release_.reset(CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str()));
        const std::wstring program = (telemetryTestDirectory() / L"telemetry_mutex_holder.exe").wstring();
        std::wstring commandLine =
            L"\"" + program + L"\" \"" + mutexName + L"\" \"" + readyName + L"\" \"" + releaseName + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            throw std::runtime_error("cannot start telemetry_mutex_holder.exe");
        }
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        const HANDLE waits[] = {ready_.get(), process_.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, 20000) != WAIT_OBJECT_0) {
            throw std::runtime_error("telemetry_mutex_holder.exe did not take the mutex");
        }
    }
    MutexHolder(const MutexHolder&) = delete;
    MutexHolder& operator=(const MutexHolder&) = delete;
    ~MutexHolder() {
        SetEvent(release_.get());
        WaitForSingleObject(process_.get(), 20000);
    }

private:
    UniqueKernelHandle ready_;
    UniqueKernelHandle release_;
    UniqueKernelHandle process_;
};

} // namespace ardenwick::testing
