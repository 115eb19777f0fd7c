#include "common/wide_path.h"

#include <cstdint>

namespace ardenwick {
namespace {

/// Length of the root that a parent never loses: "C:\", "C:", "\" or "/".
std::size_t rootLength(const std::wstring& text) {
    if (text.size() >= 2 && text[1] == L':') {
        return text.size() >= 3 && WidePath::isSeparator(text[2]) ? 3 : 2;
    }
    return !text.empty() && WidePath::isSeparator(text[0]) ? 1 : 0;
}

} // namespace

WidePath WidePath::parent_path() const {
    std::size_t end = text_.size() - filename().size();
    if (end == 0) {
        return {};
    }
    const std::size_t root = rootLength(text_);
    while (end > root && isSeparator(text_[end - 1])) {
        --end;
    }
    return WidePath(text_.substr(0, end));
}

std::wstring WidePath::filename() const {
    std::size_t start = text_.size();
    while (start > 0 && !isSeparator(text_[start - 1]) && !(start == 2 && text_[1] == L':')) {
        --start;
    }
    return text_.substr(start);
}

std::u16string WidePath::u16string() const {
    std::u16string text;
    text.reserve(text_.size());
    for (const wchar_t c : text_) {
        auto code = static_cast<std::uint32_t>(c);
        if (sizeof(wchar_t) > 2 && code >= 0x10000) {
            // wchar_t holds whole code points here: split them into surrogate pairs.
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
    }
    return text;
}

std::string WidePath::u8string() const {
    const std::u16string wide = u16string();
    std::string text;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t code = wide[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        }
        if (code < 0x80) {
            text.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            text.push_back(static_cast<char>(0xC0 | (code >> 6)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            text.push_back(static_cast<char>(0xE0 | (code >> 12)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            text.push_back(static_cast<char>(0xF0 | (code >> 18)));
            text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return text;
}

WidePath& WidePath::operator/=(std::wstring_view component) {
    if (!text_.empty() && !isSeparator(text_.back()) && !(text_.size() == 2 && text_[1] == L':')) {
        text_.push_back(Separator);
    }
    text_.append(component);
    return *this;
}

} // namespace ardenwick
