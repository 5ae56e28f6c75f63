#include "platform/SystemTime.h"

namespace platform {

UtcTime utcTimeFromUnixMilliseconds(std::int64_t milliseconds) {
    // Floor division, so that times before 1970 split correctly too.
    std::int64_t days = milliseconds / 86400000;
    std::int64_t rest = milliseconds % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    UtcTime t{};
    t.milliseconds = static_cast<std::uint16_t>(rest % 1000);
    t.second = static_cast<std::uint16_t>(rest / 1000 % 60);
    t.minute = static_cast<std::uint16_t>(rest / 60000 % 60);
    t.hour = static_cast<std::uint16_t>(rest / 3600000);
    // 1970-01-01 was a Thursday.
    t.dayOfWeek = static_cast<std::uint16_t>(((days % 7) + 11) % 7);

    // Days to civil date in the proleptic Gregorian calendar, counting
    // eras of 400 years from 0000-03-01.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;  // March = 0
    t.day = static_cast<std::uint16_t>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    t.month = static_cast<std::uint16_t>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    t.year = static_cast<std::uint16_t>(yearOfEra + era * 400 + (t.month <= 2 ? 1 : 0));
    return t;
}

}  // namespace platform
