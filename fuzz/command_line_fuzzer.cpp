// Feeds arbitrary argument vectors to the start-up argument parser. The input is UTF-16 code units
// (two bytes each); a zero unit separates arguments.
#include "app/command_line.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> arguments(1, L"Ardenwick-Setup.exe");
    arguments.emplace_back();
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            arguments.emplace_back();
        } else {
            arguments.back().push_back(unit);
        }
    }
    if (arguments.back().empty() && arguments.size() == 2) {
        arguments.pop_back();
    }
    std::vector<std::wstring_view> views(arguments.begin(), arguments.end());
    try {
        auto parsed = ardenwick::parseStartupArguments(views);
        if (parsed && parsed->maintenance &&
            !ardenwick::isAcceptableReadyEventName(parsed->maintenance->readyEventName)) {
            __builtin_trap();
        }
    } catch (const std::runtime_error&) {
        // "Invalid maintenance process" is the one error the parser may raise.
    }
    return 0;
}
