#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "sync/timeConv.h"

#include <gtest/gtest.h>

TEST(localOffset, wholeAndQuarterHourZonesWithSummerTime) {
    struct {
        const char* tz;
        long long t;
        long long offset;
    } cases[] = {
        {"UTC", 1700000000, 0},
        {"Europe/Vienna", 1704067200, 3600},      // 2024-01-01, winter
        {"Europe/Vienna", 1719792000, 7200},      // 2024-07-01, summer
        {"Asia/Kathmandu", 1704067200, 20700},    // +05:45
        {"America/St_Johns", 1704067200, -12600}, // -03:30
        {"America/St_Johns", 1719792000, -9000},  // -02:30 in summer
    };
    for (const auto& c : cases) {
        scopedTimeZone tz(c.tz);
        EXPECT_EQ(localOffset(c.t), c.offset) << c.tz;
    }
}

TEST(localMidnight, isTheRealMidnightOnBothSummerTimeSwitches) {
    scopedTimeZone tz("Europe/Vienna");
    // 2024-03-31 (clocks go 02:00 -> 03:00) and 2024-10-27 (03:00 -> 02:00), in the afternoon.
    for (auto day : {std::make_pair(3, 31), std::make_pair(10, 27)}) {
        long long midnight = localSeconds(2024, day.first, day.second, 0, 0, 0);
        long long afternoon = localSeconds(2024, day.first, day.second, 15, 0, 0);
        EXPECT_EQ(localMidnight(afternoon), midnight);
        EXPECT_EQ(nextLocalMidnight(afternoon), midnight + 86400);
    }
    scopedTimeZone kathmandu("Asia/Kathmandu");
    long long t = localSeconds(2024, 5, 1, 0, 0, 0);
    EXPECT_EQ(localMidnight(t + 86399), t);
    EXPECT_EQ(t % 3, 0) << "local midnights of quarter-hour zones are multiples of 3";
}

TEST(utcDayWindow, startsAtUtcMidnight) {
    int32_t start, end;
    utcDayWindow(86400 * 3 + 5, &start, &end);
    EXPECT_EQ(start, 86400 * 3);
    EXPECT_EQ(end, 86400 * 4);
    utcDayWindow(0, &start, &end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 86400);
}

TEST(lineConversions, positionAndIntervalFollowTheLineCounter) {
    scopedTimeZone tz("UTC");
    double day = 1700006400.0; // a UTC midnight
    syncPointPtr sync = makeSyncPoint(day + 100.25, 1000.0);
    ASSERT_TRUE(sync->isValid());
    EXPECT_DOUBLE_EQ(linePosition(sync.data(), 0), 100250.0); // the sync moment itself
    EXPECT_DOUBLE_EQ(relativeTime(sync.data(), 500), 100.75);
    EXPECT_DOUBLE_EQ(absoluteTime(sync.data(), 500), day + 100.75);
    EXPECT_EQ(intervalStart(sync.data(), 0, 3), int32_t(day) + 99);
    EXPECT_EQ(intervalEnd(sync.data(), 0, 3), int32_t(day) + 102);
    EXPECT_EQ(intervalStart(sync.data(), 1750, 3), int32_t(day) + 102);
    // No valid syncPoint: everything is 0, the end included.
    syncPoint invalid;
    EXPECT_EQ(intervalStart(&invalid, 10, 3), 0);
    EXPECT_EQ(intervalEnd(&invalid, 10, 3), 0);
    EXPECT_EQ(linePosition(nullptr, 10), 0.0);
}

TEST(lineConversions, intervalIsClampedToTheLastOfTheSyncDay) {
    scopedTimeZone tz("Asia/Kathmandu");
    long long midnight = localSeconds(2024, 5, 1, 0, 0, 0);
    syncPointPtr sync = makeSyncPoint(double(midnight) + 86390.0, 1000.0);
    int32_t e = sync->dayEnd();
    EXPECT_EQ(e, midnight + 86400);
    EXPECT_EQ(intervalStart(sync.data(), 8000, 3), e - 3);  // second E - 2
    EXPECT_EQ(intervalStart(sync.data(), 9000, 3), e - 3);  // E - 1
    EXPECT_EQ(intervalStart(sync.data(), 50000, 3), e - 3); // far past the end
    // The line position keeps growing past the day's number of lines.
    EXPECT_DOUBLE_EQ(linePosition(sync.data(), 50000), 86390000.0 + 50000.0);
    // A damaged line counter can neither overflow nor leave the day.
    EXPECT_EQ(intervalStart(sync.data(), 1.8e19, 3), e - 3);
}

TEST(localDayStem, yearAndDayOfYear) {
    scopedTimeZone tz("UTC");
    EXPECT_EQ(localDayStem(1282996800), "v10240_1"); // 2010-08-28, day 240
    EXPECT_EQ(localDayStem(1704067200), "v24001_1"); // 2024-01-01
}
