#include <windows.h>

#include "support/verification_fixtures.h"

#include "support/process_runner.h"
#include "test_root_store.h"

#include <exception>
#include <filesystem>
#include <mutex>

namespace ardenwick::testing {

std::filesystem::path fixturePath(const std::wstring& name) {
    return executableDirectory() / L"fixtures" / name;
}

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

void trustTestRoot() {
    static std::once_flag once;
    std::call_once(once,
                   [] { installTrustedRootCertificate(executableDirectory() / L"test-pki" / L"root.cer"); });
}

} // namespace ardenwick::testing
