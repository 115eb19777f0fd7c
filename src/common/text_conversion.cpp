#include "common/text_conversion.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace ardenwick {

std::wstring utf8ToWide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    // The system takes 32-bit counts; a longer text cannot be converted faithfully.
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::runtime_error("Invalid UTF-8 text");
    }
    const int inputLength = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), inputLength, nullptr, 0);
    if (length < 1) {
        throw std::runtime_error("Invalid UTF-8 text");
    }
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), inputLength, result.data(), length) !=
        length) {
        throw std::runtime_error("Invalid UTF-8 text");
    }
    return result;
}

std::string wideToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        throw std::runtime_error("Invalid UTF-16 text");
    }
    const int inputLength = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), inputLength, nullptr,
                                           0, nullptr, nullptr);
    if (length < 1) {
        throw std::runtime_error("Invalid UTF-16 text");
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), inputLength, result.data(), length,
                            nullptr, nullptr) != length) {
        throw std::runtime_error("Invalid UTF-16 text");
    }
    return result;
}

} // namespace ardenwick
