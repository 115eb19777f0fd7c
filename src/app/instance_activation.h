#pragma once

#include <cstdint>

namespace ardenwick {

/// Looks for the window of the instance with `instanceKey` for about five seconds (50 passes of 100 ms)
/// and posts it `ActivateInstanceMessage`. Returns whether a window was found.
bool activateRunningInstance(std::uint64_t instanceKey) noexcept;

} // namespace ardenwick
