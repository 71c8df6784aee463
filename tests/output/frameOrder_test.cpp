#include "output/frameOrder.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {

const double RATE = 1000.0; // lines per second: a line counter is milliseconds

syncPointPtr syncAt(const char* time, double plus = 0.0, uint32_t epoch = 0) {
    syncPointPtr sync = makeSyncPoint(double(utcSeconds(time)) + plus, RATE);
    sync->setClockEpoch(epoch);
    return sync;
}

} // namespace

// Whether a record may follow another in one camera's stream, and whether pairing may append
// it behind the other, for each way two frames can stand: in one synchronisation, across a
// resync, across local midnight (also on the 23- and 25-hour days summer time begins and ends
// in Berlin, where local midnight falls at 22:00 and 23:00 UTC), and across a step of the wall
// clock.
TEST(frameOrder, oneRuleForEveryWayTwoFramesCanStand) {
    scopedTimeZone tz("Europe/Berlin");
    const syncPointPtr june = syncAt("2026-06-10 10:00:00");
    const syncPointPtr juneResync = syncAt("2026-06-10 10:01:00");
    const syncPointPtr juneInside = syncAt("2026-06-10 10:00:01", 0.5);
    const syncPointPtr juneOverlap = syncAt("2026-06-10 10:00:01", 0.005);
    const syncPointPtr juneStepped = syncAt("2026-06-10 09:00:00", 0.0, 1);
    const syncPointPtr juneOldClock = syncAt("2026-06-10 10:02:00", 0.0, 0);
    const syncPointPtr juneBeforeMidnight = syncAt("2026-06-10 21:59:50");
    const syncPointPtr juneAfterMidnight = syncAt("2026-06-10 22:00:05");
    // The 25-hour day: the full hour 22:00 UTC is 23:00 local, not the end of the day.
    const syncPointPtr octoberHour = syncAt("2026-10-25 21:30:00");
    const syncPointPtr octoberLateHour = syncAt("2026-10-25 22:00:30");
    const syncPointPtr octoberLast = syncAt("2026-10-25 22:59:50");
    const syncPointPtr octoberNextDay = syncAt("2026-10-25 23:00:05");
    // The 23-hour day: local midnight is 22:00 UTC.
    const syncPointPtr marchLast = syncAt("2026-03-29 21:59:50");
    const syncPointPtr marchNextDay = syncAt("2026-03-29 22:00:05");

    const struct {
        const char* what;
        frameRecord previous;
        frameRecord next;
        followVerdict verdict;
        bool paired; // may pairing append `next` behind `previous`
    } cases[] = {
        {"one sync, right behind", makeFrameRecord(june, 1000, 10, 1),
         makeFrameRecord(june, 1010, 2, 1), followVerdict::inOrder, true},
        {"one sync, overlapping (pairing never drops its own sync)",
         makeFrameRecord(june, 1000, 10, 1), makeFrameRecord(june, 1005, 2, 1),
         followVerdict::overlaps, true},
        {"a resync a minute later", makeFrameRecord(june, 1000, 10, 1),
         makeFrameRecord(juneResync, 0, 2, 2), followVerdict::inOrder, true},
        {"a resync inside the last paired interval", makeFrameRecord(june, 1000, 10, 1),
         makeFrameRecord(juneInside, 0, 2, 2), followVerdict::inOrder, false},
        {"a resync that starts before the last frame ends", makeFrameRecord(june, 1000, 10, 1),
         makeFrameRecord(juneOverlap, 0, 2, 2), followVerdict::overlaps, false},
        {"the clock stepped back an hour: the new clock follows",
         makeFrameRecord(june, 1000, 10, 1), makeFrameRecord(juneStepped, 0, 2, 2),
         followVerdict::laterClock, true},
        {"a frame of the old clock after one of the new", makeFrameRecord(juneStepped, 0, 2, 2),
         makeFrameRecord(juneOldClock, 0, 2, 3), followVerdict::earlierClock, false},
        {"past local midnight: the next day's sync",
         makeFrameRecord(juneBeforeMidnight, 20000, 2, 4),
         makeFrameRecord(juneAfterMidnight, 1000, 2, 0), followVerdict::nextDay, true},
        {"a sync of the day before, earlier in time", makeFrameRecord(juneAfterMidnight, 0, 2, 0),
         makeFrameRecord(juneBeforeMidnight, 5000, 2, 4), followVerdict::overlaps, false},
        {"25-hour day: a resync at 23:00 local after a frame of 23:00:10",
         makeFrameRecord(octoberHour, 1810000, 2, 5), makeFrameRecord(octoberLateHour, 0, 2, 6),
         followVerdict::inOrder, true},
        {"25-hour day: past local midnight", makeFrameRecord(octoberLast, 20000, 2, 7),
         makeFrameRecord(octoberNextDay, 1000, 2, 0), followVerdict::nextDay, true},
        {"23-hour day: past local midnight", makeFrameRecord(marchLast, 20000, 2, 7),
         makeFrameRecord(marchNextDay, 1000, 2, 0), followVerdict::nextDay, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recordMayFollow(c.previous, c.next), c.verdict) << c.what;
        EXPECT_EQ(mayPairAfter(c.previous, c.next), c.paired) << c.what;
        // Whatever may follow is taken after what it follows.
        if (follows(c.verdict)) {
            EXPECT_FALSE(goesBefore(c.next, c.previous)) << c.what;
        }
    }
}

// A frame of the sync day's last lines and one after local midnight: the day's last interval
// holds the first, the next day's first interval the second, on days of every length.
TEST(frameOrder, theDaysLastIntervalEndsAtLocalMidnight) {
    scopedTimeZone tz("Europe/Berlin");
    for (const char* midnight :
         {"2026-03-29 22:00:00", "2026-06-10 22:00:00", "2026-10-25 23:00:00"}) {
        const syncPointPtr last = syncAt(midnight, -10.0);
        const syncPointPtr next = syncAt(midnight, 5.0);
        const frameRecord late = makeFrameRecord(last, 20000, 2, 1); // 10 s past midnight
        const frameRecord early = makeFrameRecord(next, 1000, 2, 0);
        EXPECT_EQ(late.intervalEnd, int32_t(utcSeconds(midnight))) << midnight;
        EXPECT_EQ(early.intervalStart, int32_t(utcSeconds(midnight)) + 6) << midnight;
        EXPECT_TRUE(laterInterval(late, early)) << midnight;
        EXPECT_FALSE(sameInterval(late, early)) << midnight;
    }
}
