#include <gtest/gtest.h>

#include "platform/SystemTime.h"

namespace {

void expectFields(const platform::UtcTime& t, int year, int month, int day, int dayOfWeek, int hour,
                  int minute, int second, int ms) {
    EXPECT_EQ(t.year, year);
    EXPECT_EQ(t.month, month);
    EXPECT_EQ(t.day, day);
    EXPECT_EQ(t.dayOfWeek, dayOfWeek);
    EXPECT_EQ(t.hour, hour);
    EXPECT_EQ(t.minute, minute);
    EXPECT_EQ(t.second, second);
    EXPECT_EQ(t.milliseconds, ms);
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
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.dayOfWeek, 6);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.milliseconds, 999);
}

}  // namespace
