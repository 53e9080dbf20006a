#include "state/format_time.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatTime, MinutesSecondsAndTruncatedTenths) {
    EXPECT_EQ(FormatTime(0), "00:00.0");
    EXPECT_EQ(FormatTime(999), "00:00.9");
    EXPECT_EQ(FormatTime(59950), "00:59.9");
    EXPECT_EQ(FormatTime(60000), "01:00.0");
    EXPECT_EQ(FormatTime(61234), "01:01.2");
    EXPECT_EQ(FormatTime(3599999), "59:59.9");
    EXPECT_EQ(FormatTime(-5), "00:00.0");
}

TEST(FormatTime, HoursFromOneHourOn) {
    EXPECT_EQ(FormatTime(3600000), "01:00:00.0");
    EXPECT_EQ(FormatTime(3661100), "01:01:01.1");
    EXPECT_EQ(FormatTime(36000000), "10:00:00.0");
    EXPECT_EQ(FormatTime(360000000), "100:00:00.0");
    EXPECT_EQ(FormatTime(2147483647), "596:31:23.6");
}

TEST(ParseTime, WholeMillisecondsAndClockTexts) {
    std::int32_t ms = -1;
    EXPECT_TRUE(ParseTime("12500", ms));
    EXPECT_EQ(ms, 12500);
    EXPECT_TRUE(ParseTime("00:12.5", ms));
    EXPECT_EQ(ms, 12500);
    EXPECT_TRUE(ParseTime("01:01:01.1", ms));
    EXPECT_EQ(ms, 3661100);
    EXPECT_TRUE(ParseTime("90:00", ms));
    EXPECT_EQ(ms, 5400000);
    EXPECT_TRUE(ParseTime("0:01.25", ms));
    EXPECT_EQ(ms, 1250);
    // Every text FormatTime writes reads back to its time, tenths truncated.
    for (const std::int32_t t : {0, 999, 61234, 3599999, 3600000, 360000000}) {
        ASSERT_TRUE(ParseTime(FormatTime(t), ms)) << t;
        EXPECT_EQ(ms, t / 100 * 100);
    }
}

TEST(ParseTime, RejectsMalformedTexts) {
    std::int32_t ms = 77;
    for (const char* text :
         {"", "-5", "+5", "1.5", "12a", "00:60.0", "1:60:00.0", "00:12.", "00:12.1234", "1:2:3:4",
          ":12.5", "2147483648", "596:31:23.7", " 12"}) {
        EXPECT_FALSE(ParseTime(text, ms)) << text;
    }
    EXPECT_EQ(ms, 77);
}

} // namespace
