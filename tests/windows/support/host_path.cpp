#include "support/host_path.h"

namespace ardenwick::testing {

std::filesystem::path hostPath(const std::wstring& path) {
    return std::filesystem::path(path.starts_with(L'/') ? L"Z:" + path : path);
}

std::filesystem::path hostPath(const std::string& path) {
    return hostPath(std::wstring(path.begin(), path.end()));
}

} // namespace ardenwick::testing
