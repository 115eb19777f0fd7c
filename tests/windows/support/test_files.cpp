#include "support/test_files.h"

#include "common/unique_handle.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace ardenwick::testing {

namespace {

bool runsFromUnder(HANDLE process, const std::filesystem::path& root) {
    std::wstring image(32768, L'\0');
    auto size = static_cast<DWORD>(image.size());
    if (!QueryFullProcessImageNameW(process, 0, image.data(), &size)) {
        return false;
    }
    image.resize(size);
    std::error_code error;
    for (auto folder = std::filesystem::path(image).parent_path(); folder.has_relative_path();
         folder = folder.parent_path()) {
        if (std::filesystem::equivalent(folder, root, error)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::error_code removeTreeWhenFree(const std::filesystem::path& path) {
    std::error_code error;
    for (int tries = 0; tries < 100; ++tries) {
        std::filesystem::remove_all(path, error);
        if (!error) {
            break;
        }
        Sleep(100);
    }
    return error;
}

void stopStandInApplication(const std::filesystem::path& root) {
    const auto pidFile = root / L"state" / L"standin-application.pid";
    const std::string pid = fileText(pidFile);
    if (pid.empty()) {
        return;
    }
    // The application may have ended on its own long ago, and its id now belong to another program of
    // this PC: only a process whose executable lies under `root` is ended.
    UniqueKernelHandle process(OpenProcess(
        PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(pid)));
    if (process && runsFromUnder(process.get(), root)) {
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 10000);
    }
    std::error_code ignored;
    std::filesystem::remove(pidFile, ignored);
}

} // namespace ardenwick::testing
