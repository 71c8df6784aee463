#include "output/cameraQueue.h"
#include "output/pairing.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {

const double DAY = 1700006400.0; // a UTC midnight

struct pairingTest : ::testing::Test {
    pairingTest() : tz("UTC"), a(1), b(2) {}
    scopedTimeZone tz;
    cameraQueue a;
    cameraQueue b;
    pairedQueue paired;
    syncPointPtr sync = makeSyncPoint(DAY + 1000.0, 1000.0);
};

} // namespace

// Camera A has frames, camera B none: pairing moves nothing, and A's frames go on alone only
// once their partners cannot come (their synchronisation ended half a minute of A's data ago),
// or beyond the bound on what one camera may hold.
TEST_F(pairingTest, aCameraAloneWaitsForItsPartnerOnlyWhileItCanStillCome) {
    syncPointPtr next = makeSyncPoint(DAY + 1010.0, 1000.0);
    const struct {
        const char* what;
        size_t first;   // frames of the first synchronisation, one line apart
        double laterAt; // seconds after its start of one frame of the next; < 0: none
        size_t alone;   // frames that go on alone
        bool bounded;
    } cases[] = {
        {"one synchronisation", 10, -1, 0, false},
        {"the next one 10 s later", 10, 10, 0, false},
        {"the next one 40 s later", 10, 40, 10, false},
        {"over the bound", MAX_PARTNERLESS + 5, -1, 5, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        cameraQueue qa(1), qb(2);
        pairedQueue out;
        for (size_t i = 0; i < c.first; ++i)
            qa.frames().push_back(makeFrameRecord(sync, uint64_t(i)));
        if (c.laterAt >= 0)
            qa.frames().push_back(makeFrameRecord(next, uint64_t((c.laterAt - 10.0) * 1000.0)));
        EXPECT_FALSE(pairFrames(out, qa, qb));
        bool bounded = false;
        EXPECT_EQ(pairPartnerless(out, qa, qb, &bounded), c.alone > 0);
        EXPECT_EQ(out.size(), c.alone);
        EXPECT_EQ(bounded, c.bounded);
        if (!out.empty()) {
            EXPECT_EQ(out.back().header.lineCounter, c.alone - 1) << "the oldest first";
        }
    }
}

TEST_F(pairingTest, ordersByPositionCameraAFirstOnTiesAndStamps) {
    a.frames().push_back(makeFrameRecord(sync, 5));
    a.frames().push_back(makeFrameRecord(sync, 9));
    b.frames().push_back(makeFrameRecord(sync, 5));
    b.frames().push_back(makeFrameRecord(sync, 7));
    b.frames().push_back(makeFrameRecord(sync, 20));
    EXPECT_TRUE(pairFrames(paired, a, b));
    ASSERT_EQ(paired.size(), 4u);
    std::vector<std::pair<uint32_t, uint64_t>> order;
    for (const frameRecord& r : paired)
        order.emplace_back(r.cameraId, r.header.lineCounter);
    EXPECT_EQ(order, (std::vector<std::pair<uint32_t, uint64_t>>{{1, 5}, {2, 5}, {2, 7}, {1, 9}}));
    EXPECT_EQ(b.size(), 1u) << "the other camera's frames wait for the next call";
}

TEST_F(pairingTest, sameRolesOrNoRoleMoveNothing) {
    a.frames().push_back(makeFrameRecord(sync, 1));
    b.frames().push_back(makeFrameRecord(sync, 2));
    b.params().cameraId = CAM_A;
    EXPECT_FALSE(pairFrames(paired, a, b));
    b.params().cameraId = CAM_KIV;
    EXPECT_FALSE(pairFrames(paired, a, b));
    EXPECT_EQ(a.size() + b.size(), 2u);
}

TEST_F(pairingTest, earlierSyncDayGoesFirstWhateverThePosition) {
    syncPointPtr nextDay = makeSyncPoint(DAY + 86400 + 10.0, 1000.0);
    a.frames().push_back(makeFrameRecord(nextDay, 0, 1, 1));
    b.frames().push_back(makeFrameRecord(sync, 80000000, 1, 0));
    pairFrames(paired, a, b);
    ASSERT_EQ(paired.size(), 1u);
    EXPECT_EQ(paired.front().cameraId, 2u);
}

TEST_F(pairingTest, aNewSyncMayNotStepBackIntoAnEarlierInterval) {
    // Last paired frame of sync 0 in the interval [DAY+1002, DAY+1005).
    paired.push_back(makeFrameRecord(sync, 2500, 1, 0));
    int32_t lastEnd = paired.back().intervalEnd;
    syncPointPtr resync = makeSyncPoint(double(lastEnd) - 3.0, 1000.0); // one interval earlier
    a.frames().push_back(makeFrameRecord(resync, 0, 1, 1));             // dropped
    a.frames().push_back(makeFrameRecord(resync, 4000, 1, 1)); // keeps queue A from running dry
    b.frames().push_back(makeFrameRecord(resync, 3000, 1, 1)); // starts exactly at lastEnd
    EXPECT_TRUE(pairFrames(paired, a, b));
    ASSERT_EQ(paired.size(), 2u);
    EXPECT_EQ(paired.back().cameraId, 2u);
    EXPECT_EQ(paired.back().intervalStart, lastEnd);
}

TEST_F(pairingTest, framesOfTheSameSyncAreNeverDropped) {
    paired.push_back(makeFrameRecord(sync, 9000, 1, 0));
    a.frames().push_back(makeFrameRecord(sync, 10, 1, 0)); // back in time, same sync
    a.frames().push_back(makeFrameRecord(sync, 30, 1, 0));
    b.frames().push_back(makeFrameRecord(sync, 20, 1, 0));
    pairFrames(paired, a, b);
    EXPECT_EQ(paired.size(), 3u);
}

TEST(emptyFrames, placedAtTheLineBeforeTheTrailerCounter) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(DAY + 500.0);
    scopedStationClock guard(&clock);
    tempStation dir;
    syncList list;
    ASSERT_TRUE(list.setDirectory(dir.path()));
    ASSERT_TRUE(list.addSync(stationParams()));
    uint16_t id = list.currentSyncId();

    frameRecord first = makeEmptyRecord(0, id, list);
    EXPECT_TRUE(recordValid(first));
    EXPECT_EQ(first.header.lineCounter, 0u) << "line counter 0 stays 0, not -1";
    EXPECT_EQ(recordNumLines(first), 1u);
    EXPECT_EQ(recordEndPosition(first), first.linePosition + 1);
    EXPECT_FALSE(recordValid(makeEmptyRecord(10, uint16_t(id + 1), list)));

    cameraQueue queue(2);
    messageCapture log;
    EXPECT_TRUE(appendEmptyFrame(queue, 100, id, list));
    EXPECT_EQ(queue.frames().back().cameraId, 0u) << "the first record is not stamped";
    EXPECT_TRUE(appendEmptyFrame(queue, 200, id, list));
    EXPECT_EQ(queue.frames().back().cameraId, 2u);
    EXPECT_FALSE(appendEmptyFrame(queue, 150, id, list));
    EXPECT_EQ(log.messages(), QStringList{"error : empty frame with negative time jump -> drop"});
    EXPECT_FALSE(appendEmptyFrame(queue, 300, uint16_t(id + 7), list)); // unknown syncId
    EXPECT_EQ(queue.size(), 2u);
}

TEST(cameraQueue, roleFollowsTheParameterRecord) {
    cameraQueue a(1), none(7);
    EXPECT_EQ(a.role(), 1u);
    EXPECT_EQ(a.cameraId(), 1u);
    EXPECT_EQ(none.role(), 0u);
    EXPECT_EQ(none.cameraId(), 0u);
    EXPECT_EQ(a.readBuffer()->m_capacity, QUEUE_READ_BUFFER_SIZE);
}
