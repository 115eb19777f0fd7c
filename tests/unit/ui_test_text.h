#pragma once

#include "ui/ui_text.h"

#include <string>

namespace ardenwick::test {

// UiChar is wchar_t on Windows and char16_t elsewhere; both hold UTF-16 code units, so the tests compare
// against u"" literals in either build.
inline std::u16string u16(UiStringView text) {
    return std::u16string(text.begin(), text.end());
}

inline UiString ui(std::u16string_view text) {
    return UiString(text.begin(), text.end());
}

} // namespace ardenwick::test
