#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace ardenwick {

/// One control that can take the keyboard focus, as it stands on the screen.
struct FocusCandidate {
    bool visible = false;
    bool enabled = false;

    friend bool operator==(const FocusCandidate&, const FocusCandidate&) = default;
};

/// Which of `readingOrder` takes the focus when a screen appears: the first one shown and enabled, none
/// when no control can take it. The window lists its primary action first and the close button last.
[[nodiscard]] std::optional<std::size_t> focusTarget(std::span<const FocusCandidate> readingOrder) noexcept;

} // namespace ardenwick
