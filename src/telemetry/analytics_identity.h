#pragma once

#include <string>

namespace ardenwick {

/// The per-user analytics distinct id from HKCU\Software\Ardenwick "AnalyticsDistinctId", created and
/// stored on first use. When the identity mutex cannot be had within 1000 ms, a fresh id that is not
/// stored. Never empty.
[[nodiscard]] std::string analyticsDistinctId();

/// The AppsFlyer device id under HKCU\Software\Ardenwick\Attribution\AppsFlyer\<namespace>, created when
/// neither it nor "Initialized" exists; empty when there is none.
[[nodiscard]] std::string installationIdentity(const std::string& installationNamespace);

/// Writes "AnalyticsDistinctId"; errors are ignored.
void persistAnalyticsDistinctId(const std::string& distinctId) noexcept;

} // namespace ardenwick
