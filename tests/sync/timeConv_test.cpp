#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "sync/timeConv.h"

#include <gtest/gtest.h>

// The local day of a second runs from the midnight that begins its date to the one that
// begins the next: 23 or 25 hours where summer time begins or ends (23.5 and 24.5 on Lord Howe
// Island, whose summer time is half an hour), and the offset is the zone's own at that moment.
TEST(localDay, boundsAndOffsetFollowTheZoneOnEveryKindOfDay) {
    struct {
        const char* tz;
        const char* inDay; // UTC, a moment of the local day
        const char* start; // UTC of its first second
        const char* end;   // UTC of the next day's first second
        long long offset;  // at `inDay`
    } cases[] = {
        {"Europe/Berlin", "2026-03-29 12:00:00", "2026-03-28 23:00:00", "2026-03-29 22:00:00",
         7200},
        {"Europe/Berlin", "2026-03-29 00:30:00", "2026-03-28 23:00:00", "2026-03-29 22:00:00",
         3600},
        {"Europe/Berlin", "2026-10-25 22:00:00", "2026-10-24 22:00:00", "2026-10-25 23:00:00",
         3600},
        {"Europe/Berlin", "2026-10-25 00:30:00", "2026-10-24 22:00:00", "2026-10-25 23:00:00",
         7200},
        {"Europe/Berlin", "2026-07-01 12:00:00", "2026-06-30 22:00:00", "2026-07-01 22:00:00",
         7200},
        {"Australia/Sydney", "2026-04-05 00:00:00", "2026-04-04 13:00:00", "2026-04-05 14:00:00",
         36000},
        {"Australia/Sydney", "2026-10-04 00:00:00", "2026-10-03 14:00:00", "2026-10-04 13:00:00",
         39600},
        {"Australia/Lord_Howe", "2026-04-05 00:00:00", "2026-04-04 13:00:00", "2026-04-05 13:30:00",
         37800},
        {"Australia/Lord_Howe", "2026-10-04 00:00:00", "2026-10-03 13:30:00", "2026-10-04 13:00:00",
         39600},
        {"Asia/Kathmandu", "2026-05-01 12:00:00", "2026-04-30 18:15:00", "2026-05-01 18:15:00",
         20700},
        {"America/St_Johns", "2026-07-01 12:00:00", "2026-07-01 02:30:00", "2026-07-02 02:30:00",
         -9000},
        // Summer time begins at midnight: the date begins at 01:00.
        {"America/Santiago", "2026-09-06 12:00:00", "2026-09-06 04:00:00", "2026-09-07 03:00:00",
         -10800},
        {"UTC", "2026-10-25 12:00:00", "2026-10-25 00:00:00", "2026-10-26 00:00:00", 0},
    };
    for (const auto& c : cases) {
        scopedTimeZone tz(c.tz);
        const long long t = utcSeconds(c.inDay);
        EXPECT_EQ(localMidnight(t), utcSeconds(c.start)) << c.tz << " " << c.inDay;
        EXPECT_EQ(nextLocalMidnight(t), utcSeconds(c.end)) << c.tz << " " << c.inDay;
        EXPECT_EQ(localOffset(t), c.offset) << c.tz << " " << c.inDay;
        EXPECT_EQ(localMidnight(t) % 3, 0) << c.tz << ": not on the grid of the intervals";
        // Both ends of the day, and the last second of the day before, belong where they should.
        EXPECT_EQ(localMidnight(utcSeconds(c.end) - 1), utcSeconds(c.start)) << c.tz;
        EXPECT_EQ(localMidnight(utcSeconds(c.start)), utcSeconds(c.start)) << c.tz;
        EXPECT_EQ(nextLocalMidnight(utcSeconds(c.start) - 1), utcSeconds(c.start)) << c.tz;
    }
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

// A line after the end of the sync day goes into the day's last interval; on the day summer
// time ends that is the last interval before the true local midnight.
TEST(lineConversions, intervalIsClampedToTheLastOfTheSyncDay) {
    for (const char* zone : {"Asia/Kathmandu", "Europe/Berlin"}) {
        scopedTimeZone tz(zone);
        const long long dayEnd = utcSeconds("2026-10-25 23:00:00");
        const long long midnight = nextLocalMidnight(dayEnd - 1); // Kathmandu: 18:15 UTC
        syncPointPtr sync = makeSyncPoint(double(midnight) - 10.0, 1000.0);
        const int32_t e = sync->dayEnd();
        EXPECT_EQ(e, midnight) << zone;
        EXPECT_EQ(intervalStart(sync.data(), 8000, 3), e - 3) << zone;  // second E - 2
        EXPECT_EQ(intervalStart(sync.data(), 9000, 3), e - 3) << zone;  // E - 1
        EXPECT_EQ(intervalStart(sync.data(), 50000, 3), e - 3) << zone; // far past the end
        // The line position keeps growing past the day's number of lines.
        EXPECT_DOUBLE_EQ(linePosition(sync.data(), 50000),
                         (double(e - sync->dayStart()) - 10.0) * 1000.0 + 50000.0)
            << zone;
        // A damaged line counter can neither overflow nor leave the day.
        EXPECT_EQ(intervalStart(sync.data(), 1.8e19, 3), e - 3) << zone;
    }
}

TEST(localDayStem, yearAndDayOfYear) {
    scopedTimeZone tz("UTC");
    EXPECT_EQ(localDayStem(1282996800), "v10240_1"); // 2010-08-28, day 240
    EXPECT_EQ(localDayStem(1704067200), "v24001_1"); // 2024-01-01
}
