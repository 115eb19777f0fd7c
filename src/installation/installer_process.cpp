#include "installation/installer_process.h"

#include "common/installation_diagnostic_error.h"
#include "common/unique_handle.h"

#include <vector>

namespace ardenwick {
namespace {

[[noreturn]] void terminateAndThrow(HANDLE process, const char* operation, DWORD error) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, INFINITE);
    throw InstallationDiagnosticError(operation, error);
}

void waitUntilJobIsEmpty(HANDLE job) {
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        static_assert(sizeof(accounting) == 48);
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                       sizeof(accounting), nullptr)) {
            Sleep(250);
            continue;
        }
        if (accounting.ActiveProcesses == 0) {
            return;
        }
        Sleep(100);
    }
}

} // namespace

std::uint32_t runInstallerProcess(const WidePath& installerPath, const std::wstring& commandLine,
                                  const std::function<void(std::uint32_t)>& onStarted) {
    InstallerStartRetry startRetry;
    return runInstallerProcess(installerPath, commandLine, onStarted, startRetry);
}

std::uint32_t runInstallerProcess(const WidePath& installerPath, const std::wstring& commandLine,
                                  const std::function<void(std::uint32_t)>& onStarted,
                                  InstallerStartRetry& startRetry) {
    UniqueKernelHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        const DWORD error = GetLastError();
        throw InstallationDiagnosticError("installer_job_create", error);
    }

    std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
    writableCommandLine.push_back(L'\0');
    const std::wstring directory = installerPath.parent_path().wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    DWORD error = ERROR_SUCCESS;
    const SharingRetryOutcome start = retryWhileShared(
        [&] {
            if (CreateProcessW(installerPath.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, directory.c_str(), &startup, &info)) {
                return std::uint32_t{0};
            }
            error = GetLastError();
            return failedStep(error);
        },
        startRetry.timings, startRetry.stopToken, InstallerStartErrors);
    startRetry.retries = start.retries;
    if (start.error != ERROR_SUCCESS) {
        throw InstallationDiagnosticError("installer_process_create", error);
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);

    if (!AssignProcessToJobObject(job.get(), process.get())) {
        const DWORD error = GetLastError();
        terminateAndThrow(process.get(), "installer_job_assign", error);
    }
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        terminateAndThrow(process.get(), "installer_thread_resume", error);
    }

    if (onStarted) {
        try {
            onStarted(info.dwProcessId);
        } catch (...) {
        }
    }

    waitUntilJobIsEmpty(job.get());

    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        const DWORD error = GetLastError();
        throw InstallationDiagnosticError("installer_exit_unavailable", error);
    }
    return exitCode;
}

} // namespace ardenwick
