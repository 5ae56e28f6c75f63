// Which reports an editor's status line takes up: its own instance's and
// the shared ones, warnings and errors only, said after the instance came,
// each line once, the newest shown, until resolved.

#include <gtest/gtest.h>

#include "gui/StatusLine.h"
#include "platform/testing/CapturedReports.h"

namespace {

using platform::ReportLevel;

TEST(StatusLine, ShowsTheNewestOfItsOwnAndTheSharedWarningsSaidSinceItsInstanceCame) {
    platform::testing::CapturedReports quiet;
    int mine = 0, other = 0;
    platform::report(ReportLevel::kError, "before this instance", &mine);
    QX::StatusLine line(&mine, platform::lastReportSerial());
    EXPECT_FALSE(line.Poll());
    EXPECT_EQ(line.Shown(), nullptr);

    platform::report(ReportLevel::kError, "another instance's port", &other);
    platform::report(ReportLevel::kInfo, "a developer's line", &mine);
    EXPECT_FALSE(line.Poll());
    EXPECT_EQ(line.Shown(), nullptr);

    platform::report(ReportLevel::kWarning, "source missing", &mine);
    platform::report(ReportLevel::kWarning, "base port no port", nullptr);
    platform::report(ReportLevel::kError, "port in use", &mine);
    ASSERT_TRUE(line.Poll());
    ASSERT_NE(line.Shown(), nullptr);
    EXPECT_EQ(line.Shown()->line, "port in use");
    EXPECT_EQ(line.Others(), 2u);

    // Said again: still one entry, now the newest.
    platform::report(ReportLevel::kWarning, "source missing", &mine);
    EXPECT_TRUE(line.Poll());
    EXPECT_EQ(line.Shown()->line, "source missing");
    EXPECT_EQ(line.Others(), 2u);

    // Nothing drawn yet: a click has nothing to mark read.
    EXPECT_FALSE(line.Click({10, 10}));
    EXPECT_EQ(line.Others(), 2u);

    // Resolved for this instance only: another's resolution changes nothing.
    platform::report(ReportLevel::kError, "port 7007 in use", &mine, "port");
    platform::resolve("port", &other);
    line.Poll();
    EXPECT_EQ(line.Shown()->line, "port 7007 in use");
    platform::resolve("port", &mine);
    EXPECT_TRUE(line.Poll());
    EXPECT_EQ(line.Shown()->line, "source missing");
    EXPECT_EQ(line.Others(), 2u);
}

}  // namespace
