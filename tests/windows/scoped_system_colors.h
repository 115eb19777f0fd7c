// The system colours of a high-contrast theme put in place for one scope (SetSysColors), and put back
// after: Wine never reports high contrast itself, so the window tests and the screenshots set its colours.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

namespace ardenwick::test {

class ScopedSystemColors {
public:
    explicit ScopedSystemColors(const std::vector<std::pair<int, COLORREF>>& colors) {
        for (const auto& [index, color] : colors) {
            indexes_.push_back(index);
            previous_.push_back(GetSysColor(index));
            wanted_.push_back(color);
        }
        SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), wanted_.data());
    }
    ScopedSystemColors(const ScopedSystemColors&) = delete;
    ScopedSystemColors& operator=(const ScopedSystemColors&) = delete;
    ~ScopedSystemColors() {
        SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), previous_.data());
    }

private:
    std::vector<int> indexes_;
    std::vector<COLORREF> previous_;
    std::vector<COLORREF> wanted_;
};

/// The colours "High Contrast Black" gives the system colours the window reads.
inline std::vector<std::pair<int, COLORREF>> highContrastBlackColors() {
    return {{COLOR_WINDOW, RGB(0x00, 0x00, 0x00)},    {COLOR_WINDOWTEXT, RGB(0xFF, 0xFF, 0xFF)},
            {COLOR_HIGHLIGHT, RGB(0x1A, 0xEB, 0xFF)}, {COLOR_HIGHLIGHTTEXT, RGB(0x00, 0x00, 0x00)},
            {COLOR_BTNFACE, RGB(0x00, 0x00, 0x00)},   {COLOR_GRAYTEXT, RGB(0x3F, 0xF2, 0x3F)}};
}

} // namespace ardenwick::test
