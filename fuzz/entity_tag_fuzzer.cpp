// Feeds arbitrary entity tags (UTF-16 code units, two bytes each) to the strong-validator check.
#include "download/entity_tag.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring tag;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        tag.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    if (!ardenwick::isStrongEntityTag(tag)) {
        return 0;
    }
    // A validator is quoted, short enough for a header, and never weak or containing a quote or control.
    if (tag.size() < 2 || tag.size() > 1024 || tag.front() != L'"' || tag.back() != L'"') {
        __builtin_trap();
    }
    for (std::size_t i = 1; i + 1 < tag.size(); ++i) {
        if (tag[i] == L'"' || tag[i] <= 0x20 || tag[i] == 0x7F || tag[i] > 0xFF) {
            __builtin_trap();
        }
    }
    return 0;
}
