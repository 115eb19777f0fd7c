#include "support/test_files.h"

#include "common/unique_handle.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace ardenwick::testing {

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
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(pid)));
    if (process) {
        TerminateProcess(process.get(), 0);
        WaitForSingleObject(process.get(), 10000);
    }
    std::error_code ignored;
    std::filesystem::remove(pidFile, ignored);
}

} // namespace ardenwick::testing
