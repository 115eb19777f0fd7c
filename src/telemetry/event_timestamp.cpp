#include "telemetry/event_timestamp.h"

#include <chrono>
#include <cstdio>

namespace ardenwick {

namespace {

constexpr std::int64_t TicksPerSecond = 10'000'000;
constexpr std::int64_t TicksPerMillisecond = 10'000;

std::int64_t floorDivide(std::int64_t value, std::int64_t divisor) {
    std::int64_t quotient = value / divisor;
    if (value % divisor != 0 && value < 0) {
        --quotient;
    }
    return quotient;
}

} // namespace

std::int64_t currentEventTicks() {
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, TicksPerSecond>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::int64_t currentUnixSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string formatEventTimestamp(std::int64_t ticks) {
    // Floor division keeps times before 1970 well-formed instead of printing negative fields.
    const std::int64_t seconds = floorDivide(ticks, TicksPerSecond);
    const std::int64_t milliseconds = floorDivide(ticks, TicksPerMillisecond) - seconds * 1000;
    const std::chrono::sys_seconds point{std::chrono::seconds{seconds}};
    const auto day = std::chrono::floor<std::chrono::days>(point);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss time{point - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(milliseconds));
    return text;
}

} // namespace ardenwick
