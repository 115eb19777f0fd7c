#include "ui/focus_target.h"

namespace ardenwick {

std::optional<std::size_t> focusTarget(std::span<const FocusCandidate> readingOrder) noexcept {
    for (std::size_t index = 0; index < readingOrder.size(); ++index) {
        if (readingOrder[index].visible && readingOrder[index].enabled) {
            return index;
        }
    }
    return std::nullopt;
}

} // namespace ardenwick
