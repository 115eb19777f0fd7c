#pragma once

#include "ui/com_ownership.h"

#include <windows.h>

#include <oleacc.h>

#include <array>
#include <cstddef>

namespace ardenwick {

/// The window's polite live regions: controls whose new text a screen reader reads out without moving the
/// user's focus. Marking needs the system's IAccPropServices; without it the controls stay plain labels
/// and the change events are raised all the same.
class LiveRegions {
public:
    static constexpr std::size_t Capacity = 2;

    LiveRegions() noexcept = default;
    LiveRegions(const LiveRegions&) = delete;
    LiveRegions& operator=(const LiveRegions&) = delete;
    ~LiveRegions() { clear(); }

    /// Marks `control` polite (LiveSetting for UI Automation). Returns whether the system took the mark.
    bool mark(HWND control) noexcept;
    /// Takes every mark off again; run before the controls are destroyed.
    void clear() noexcept;
    /// Tells assistive technology that `control`'s text changed (EVENT_OBJECT_LIVEREGIONCHANGED).
    static void announce(HWND control) noexcept;

private:
    ComPtr<IAccPropServices> services_;
    std::array<HWND, Capacity> marked_{};
    std::size_t markedCount_ = 0;
};

} // namespace ardenwick
