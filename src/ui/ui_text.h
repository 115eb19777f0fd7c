#pragma once

#include <string>
#include <string_view>

namespace ardenwick {

// Window texts are UTF-16. On Windows that is wchar_t, so the tables feed the Win32 calls directly;
// elsewhere wchar_t is 32-bit and the same tables are stored as char16_t.
#ifdef _WIN32
using UiChar = wchar_t;
#define ARDENWICK_UI_TEXT(literal) L##literal
#else
using UiChar = char16_t;
#define ARDENWICK_UI_TEXT(literal) u##literal
#endif

static_assert(sizeof(UiChar) == 2, "window texts must be UTF-16 code units");

using UiString = std::basic_string<UiChar>;
using UiStringView = std::basic_string_view<UiChar>;

} // namespace ardenwick
