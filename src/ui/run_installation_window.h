#pragma once

#include "installation/installation_service.h"

#include <windows.h>

#include <cstdint>
#include <functional>

namespace ardenwick {

/// The window part of start-up: picks the user's language, shows the installer window until it is gone and
/// returns the process exit code, 0 when the final status is Ready and 1 otherwise. Once the window is
/// visible it carries `instanceKey` as its instance property and `markWindowReady` is called.
[[nodiscard]] int runInstallationWindow(HINSTANCE instance, IInstallationService& service,
                                        std::uint64_t instanceKey,
                                        const std::function<void()>& markWindowReady);

} // namespace ardenwick
