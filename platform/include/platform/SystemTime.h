#pragma once
// The wall-clock time in UTC, in the fields of a Windows SYSTEMTIME.
// [any-thread, audio-safe] No allocation and no lock: Windows answers with
// GetSystemTime; Linux reads the real-time clock and splits it into civil
// fields itself (no time-zone database, no locale).

#include <cstdint>

namespace platform {

struct UtcTime {
    std::uint16_t year;
    std::uint16_t month;      // 1..12
    std::uint16_t dayOfWeek;  // 0 = Sunday
    std::uint16_t day;        // 1..31
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t milliseconds;
};

UtcTime currentUtcTime();

// The civil UTC fields of a count of milliseconds since 1970-01-01 00:00.
// Portable, so that every system's conversion can be checked.
UtcTime utcTimeFromUnixMilliseconds(std::int64_t milliseconds);

}  // namespace platform
