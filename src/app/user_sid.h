#pragma once

#include <optional>
#include <string>

namespace ardenwick {

/// The current user's SID in its "S-1-5-..." form, or nothing when the token cannot tell it.
[[nodiscard]] std::optional<std::wstring> currentUserSidText() noexcept;

} // namespace ardenwick
