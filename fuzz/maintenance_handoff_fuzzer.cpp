// The launcher's hand-off file: any bytes either give exactly one release or a standard error.
#include "maintenance/maintenance_handoff.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const auto handoff =
            ardenwick::parseMaintenanceHandoff(std::string_view(reinterpret_cast<const char*>(data), size));
        if (handoff.release.version.empty()) {
            __builtin_trap();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
