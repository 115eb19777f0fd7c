// The documents an installed application leaves for the readiness probe and the previous run's failure
// record: whatever their bytes, the readers answer or throw a standard error, and a ready answer always
// names a run id inside the runtime job namespace.
#include "installation/failure_record.h"
#include "launch/run_state.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)ardenwick::readSavedFailure(text);
    try {
        (void)ardenwick::parseLauncherProtocolVersion(text);
    } catch (const std::exception&) {
    }
    try {
        const auto state = ardenwick::parseReadyRecoveryState(text);
        if (state && !state->runId.starts_with(ardenwick::RuntimeJobPrefix)) {
            __builtin_trap();
        }
        if (state) {
            (void)ardenwick::runtimeJobName(state->runId);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
