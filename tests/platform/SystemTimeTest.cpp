#include <gtest/gtest.h>

#include <array>

#include "platform/SystemTime.h"

namespace {

void expectFields(const platform::UtcTime& t, int year, int month, int day, int dayOfWeek, int hour,
                  int minute, int second, int ms) {
    EXPECT_EQ((std::array<int, 8>{t.year, t.month, t.day, t.dayOfWeek, t.hour, t.minute, t.second,
                                  t.milliseconds}),
              (std::array<int, 8>{year, month, day, dayOfWeek, hour, minute, second, ms}));
}

TEST(SystemTime, CivilFieldsFromUnixTime) {
    expectFields(platform::utcTimeFromUnixMilliseconds(0), 1970, 1, 1, 4, 0, 0, 0, 0);
    // 2000-02-29 23:59:59.999, a Tuesday in a leap year of a 400-year rule.
    expectFields(platform::utcTimeFromUnixMilliseconds(951868799999), 2000, 2, 29, 2, 23, 59, 59,
                 999);
    // 2026-12-06 07:15:30.250, a Sunday.
    expectFields(platform::utcTimeFromUnixMilliseconds(1796541330250), 2026, 12, 6, 0, 7, 15, 30,
                 250);
    // 1969-12-31 23:59:59.500, a Wednesday.
    expectFields(platform::utcTimeFromUnixMilliseconds(-500), 1969, 12, 31, 3, 23, 59, 59, 500);
}

TEST(SystemTime, NowIsAPlausibleDate) {
    const platform::UtcTime now = platform::currentUtcTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
}

}  // namespace
