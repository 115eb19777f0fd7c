#include "common/absolute_path.h"

namespace ardenwick {
namespace {

bool isSeparator(wchar_t c) noexcept {
    return c == L'\\' || c == L'/';
}

bool isDriveLetter(wchar_t c) noexcept {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

bool isAbsolutePath(std::wstring_view path) noexcept {
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == L':' && isSeparator(path[2])) {
        return true;
    }
    // A root name: two separators followed by a name (UNC server, "\\?\" and "\\.\" prefixes).
    return path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2]);
}

} // namespace ardenwick
