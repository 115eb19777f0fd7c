#pragma once

#include "common/unique_handle.h"

#include <windows.h>

namespace ardenwick::testing {

/// Lets go of the stand-in full installers of the "held" scenario, which wait for this event: on
/// `release`, and at the latest when it goes out of scope, so a failed case never leaves one held.
class InstallerRelease {
public:
    InstallerRelease()
        : event_(CreateEventW(nullptr, TRUE, FALSE, L"Local\\ArdenwickTest.InstallerRelease")) {}
    ~InstallerRelease() { release(); }
    InstallerRelease(const InstallerRelease&) = delete;
    InstallerRelease& operator=(const InstallerRelease&) = delete;

    [[nodiscard]] bool created() const { return static_cast<bool>(event_); }
    void release() const {
        if (event_) {
            SetEvent(event_.get());
        }
    }

private:
    UniqueKernelHandle event_;
};

} // namespace ardenwick::testing
