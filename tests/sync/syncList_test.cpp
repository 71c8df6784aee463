#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "sync/syncList.h"
#include "sync/timeConv.h"

#include <gtest/gtest.h>

namespace {

const double DAY = 1700006400.0; // a UTC midnight (2023-11-15)

struct syncListTest : ::testing::Test {
    syncListTest() : tz("UTC"), clock(DAY + 3600.5), guard(&clock) {}
    // A list working in the temporary folder.
    std::unique_ptr<syncList> makeList() {
        auto list = std::make_unique<syncList>();
        EXPECT_TRUE(list->setDirectory(dir.path()));
        return list;
    }
    QString fileName() { return localDayStem(int64_t(clock.now())) + ".sync.log"; }

    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    tempStation dir;
};

} // namespace

TEST_F(syncListTest, firstSyncOfTheDayIsZeroAndLinesAreAppended) {
    auto list = makeList();
    EXPECT_EQ(list->currentSyncId(), NO_SYNC_ID);
    EXPECT_EQ(list->windowStart(), int32_t(DAY));
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(list->currentSyncId(), 0);
    clock.advance(10);
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(list->currentSyncId(), 1);
    EXPECT_EQ(dir.read(fileName()), "         0  01700010000  1700010000.000 \n"
                                    "         1  01700010010  1700010010.000 \n");
    syncPointPtr p = list->find(1);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->isValid());
    EXPECT_EQ(p->syncSecond(), 1700010010);
    EXPECT_FALSE(list->find(2));
}

TEST_F(syncListTest, aNewListContinuesTheNumberingOfTheDay) {
    {
        auto list = makeList();
        for (int i = 0; i < 3; ++i, clock.advance(5))
            list->addSync(stationParams());
    }
    auto list = makeList();
    EXPECT_EQ(list->currentSyncId(), 2);
    // Known syncIds without syncPoint: found, but empty.
    EXPECT_TRUE(list->find(2).isNull());
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(list->currentSyncId(), 3);
}

// The next syncId is one after the syncId of the latest second, but never one the day's list
// holds already: after a step of the clock back the latest second may be an earlier
// synchronisation's, and the ids after it are taken.
TEST_F(syncListTest, aRestartNeverHandsOutASyncIdOfTheDayAgain) {
    const struct {
        const char* what;
        std::vector<std::pair<int, int>> lines; // syncId, seconds after DAY
        int next;
    } cases[] = {
        {"the latest second's id is the highest", {{0, 100}, {1, 200}}, 2},
        {"an id below one used before, at a later second", {{50, 100}, {41, 200}}, 42},
        {"the clock stepped back: the next id was used before", {{0, 100}, {1, 200}, {2, 160}}, 3},
        {"stepped back twice", {{41, 300}, {42, 290}, {43, 280}}, 44},
        {"the last id before 'none'", {{65534, 100}}, 0},
    };
    for (const auto& c : cases) {
        tempStation day;
        QByteArray content;
        for (const auto& line : c.lines)
            content += QStringLiteral("%1  %2  %3.000 \n")
                           .arg(line.first, 10)
                           .arg(qlonglong(DAY) + line.second, 11, 10, QLatin1Char('0'))
                           .arg(qlonglong(DAY) + line.second, 11)
                           .toLatin1();
        day.write(fileName(), content);
        syncList list;
        ASSERT_TRUE(list.setDirectory(day.path()));
        ASSERT_TRUE(list.addSync(stationParams())) << c.what;
        EXPECT_EQ(list.currentSyncId(), c.next) << c.what;
        ASSERT_TRUE(list.addSync(stationParams())) << c.what;
        EXPECT_EQ(list.currentSyncId(), c.next + 1) << c.what << ": and the one after";
    }
}

TEST_F(syncListTest, loadSkipsDamagedLinesAndOtherDays) {
    QByteArray content;
    content += "         4  01700010000  1700010000.000 \n";
    content += "     65535  01700010001  1700010001.000 \n"; // "none"
    content += "         9  01699000000  1699000000.000 \n"; // another UTC day
    content += "         8  -5  -5.000 \n";                  // negative second
    content += "         7  99999999999999999999999999 \n";  // huge second
    content += "garbage line\n";
    content += QByteArray(1000, 'x') + "\n"; // a very long line
    content += QByteArray("\x00\x01\xff binary\n", 11);
    content += "         6  01700010002\n";                // without the decimals
    content += "         5  01700010002  1700010002.000 "; // same second, no line end
    dir.write(fileName(), content);
    auto list = makeList();
    EXPECT_EQ(list->currentSyncId(), 5);
    EXPECT_EQ(list->size(), 3u); // 4, 6 and 5
    EXPECT_TRUE(list->find(4).isNull());
}

TEST_F(syncListTest, twoSyncsInOneSecondKeepBothPoints) {
    auto list = makeList();
    list->addSync(stationParams());
    clock.advance(0.2);
    list->addSync(stationParams());
    EXPECT_TRUE(list->find(0));
    EXPECT_TRUE(list->find(1));
    EXPECT_NE(list->find(0)->syncTime(), list->find(1)->syncTime());
}

TEST_F(syncListTest, numberingRestartsWithANewUtcDay) {
    auto list = makeList();
    for (int i = 0; i < 3; ++i, clock.advance(600))
        list->addSync(stationParams());
    EXPECT_EQ(list->currentSyncId(), 2);
    clock.set(DAY + 86400 + 10);
    list->addSync(stationParams());
    EXPECT_EQ(list->currentSyncId(), 0);
    EXPECT_EQ(list->windowStart(), int32_t(DAY) + 86400);
    // A day whose last syncId was 0 starts the next one at 1.
    clock.set(DAY + 2 * 86400 + 10);
    list->addSync(stationParams());
    EXPECT_EQ(list->currentSyncId(), 1);
}

TEST_F(syncListTest, pruningKeepsRecentSyncsAndBoundsMemory) {
    auto list = makeList();
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(list->addSync(stationParams()));
        clock.advance(4);
    }
    // 2 hours of syncs every 4 seconds, give or take: bounded, not growing with the day.
    EXPECT_LE(list->size(), 7200u / 4 + 2);
    uint16_t current = list->currentSyncId();
    for (int back = 0; back < 64; ++back)
        EXPECT_TRUE(list->find(uint16_t(current - back))) << back;
    EXPECT_FALSE(list->find(uint16_t(current - 5000)));
}

TEST_F(syncListTest, hourlySyncsOfAWholeDayStayFindable) {
    auto list = makeList();
    for (int h = 0; h < 23; ++h, clock.advance(3600))
        list->addSync(stationParams());
    for (uint16_t id = 0; id < 23; ++id)
        EXPECT_TRUE(list->find(id)) << id;
}

TEST_F(syncListTest, missingDirectoryKeepsNumberingInMemory) {
    syncList list; // default "C:\data\sync\" does not exist here
    scopedWorkingDir cwd(dir.path());
    EXPECT_FALSE(list.setDirectory(dir.file("none")));
    EXPECT_TRUE(list.addSync(stationParams()));
    EXPECT_EQ(list.currentSyncId(), 0);
    EXPECT_TRUE(dir.list().isEmpty());
}

TEST_F(syncListTest, aRecordThatCannotCommitMakesNoSync) {
    auto list = makeList();
    cameraParams bad = stationParams();
    bad.left = 512;
    bad.width = 600; // capture window beyond 1024
    stderrCapture err;
    EXPECT_FALSE(list->addSync(bad));
    EXPECT_EQ(list->currentSyncId(), NO_SYNC_ID);
}

TEST(syncPoint, headerBytesOfAKnownRecord) {
    scopedTimeZone tz("Asia/Kathmandu");
    cameraParams params = stationParams();
    params.softwareVersion = 0x0102;
    params.suSerialNr = 0x0304;
    params.lineFrequency = 1.0;
    params.left = 4;
    params.width = 600;
    params.planeBackLeft = 2.0f;
    params.normVideoLevel = 200;
    params.threshold = 0x12345;
    syncPoint point;
    ASSERT_TRUE(point.buildAt(params, 1700000000.75));
    ASSERT_EQ(point.headerLength(), SYNC_HEADER_SIZE);
    const uint8_t* h = point.headerBytes();
    const uint8_t expectStart[] = {56, 0, 2, 1, 4, 3, 0, 0, 0, 0, 0, 0, 0xf0, 0x3f};
    EXPECT_EQ(QByteArray((const char*)h, 14), QByteArray((const char*)expectStart, 14));
    auto u16 = [&](int at) { return h[at] | (h[at + 1] << 8); };
    EXPECT_EQ(u16(14), 4 + 300); // window centre: left + (width + 1) / 2
    EXPECT_EQ(u16(16), 4);
    EXPECT_EQ(u16(18), 604);
    EXPECT_EQ(QByteArray((const char*)h + 20, 4), QByteArray("\x00\x00\x00\x40", 4));
    EXPECT_EQ(u16(48), 200);
    EXPECT_EQ(u16(50), 0x2345);
    uint32_t local = h[52] | (h[53] << 8) | (h[54] << 16) | (uint32_t(h[55]) << 24);
    EXPECT_EQ(local, 1700000000u + 20700u);
}

TEST(syncPoint, invalidPointAnswersDefaults) {
    syncPoint point;
    EXPECT_FALSE(point.isValid());
    EXPECT_EQ(point.lineFrequency(), 55172.0);
    EXPECT_EQ(point.syncSecond(), 0);
    EXPECT_EQ(point.headerBytes(), nullptr);
}

TEST_F(syncListTest, aSyncIdOutsideItsRangeIsADamagedLine) {
    QByteArray content;
    content += "         4  01700010000  1700010000.000 \n";
    content += "     70001  01700010003  1700010003.000 \n"; // would pass as 4465
    content += "        -3  01700010004  1700010004.000 \n"; // would pass as 65533
    content += "   0x00010  01700010005  1700010005.000 \n"; // not decimal
    dir.write(fileName(), content);
    auto list = makeList();
    EXPECT_EQ(list->currentSyncId(), 4);
    EXPECT_EQ(list->size(), 1u);
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(list->currentSyncId(), 5);
}

TEST_F(syncListTest, aLineCutShortByAPowerFailureDoesNotSwallowTheNextOne) {
    dir.write(fileName(), "         3  01700010000  1700010000.000 \n"
                          "         4  017000");
    auto list = makeList();
    EXPECT_EQ(list->currentSyncId(), 3);
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(list->currentSyncId(), 4);
    EXPECT_TRUE(dir.read(fileName()).endsWith("\n         4  01700010000  1700010000.000 \n"));
    // A restart goes on from there.
    auto again = makeList();
    EXPECT_EQ(again->currentSyncId(), 4);
}

// The list cannot be written: at the first synchronisation of a run no number is handed out
// (the day's numbering is unknown); later in the run each failed line is reported and its
// number is neither handed out (a power cut would take the line back) nor taken again, and the
// missed line is written before the next one, so that a restart never hands out a number of
// the day twice.
TEST_F(syncListTest, anUnwritableListNeverLetsANumberOfTheDayBeHandedOutTwice) {
    messageCapture log;
    bool unwritable = true;
    scopedFileFaults faults([&](fileOp op, const QString& path) {
        return unwritable && op == fileOp::OPEN && path.endsWith(".sync.log");
    });
    auto first = makeList();
    EXPECT_FALSE(first->addSync(stationParams()));
    clock.advance(5);
    EXPECT_FALSE(first->addSync(stationParams()));
    EXPECT_EQ(first->currentSyncId(), NO_SYNC_ID);
    EXPECT_EQ(log.messages().size(), 1) << "reported once while it lasts";
    EXPECT_TRUE(log.messages().value(0).startsWith("error : sync list "));

    unwritable = false;
    ASSERT_TRUE(first->addSync(stationParams()));
    EXPECT_EQ(first->currentSyncId(), 0);
    unwritable = true;
    clock.advance(5);
    EXPECT_FALSE(first->addSync(stationParams())) << "a number not on disk is not handed out";
    EXPECT_EQ(first->currentSyncId(), 1) << "nor taken again";
    EXPECT_TRUE(log.messages().last().startsWith("error : unable to append syncId 1 "));
    unwritable = false;
    clock.advance(5);
    ASSERT_TRUE(first->addSync(stationParams()));
    EXPECT_EQ(first->currentSyncId(), 2);

    auto restarted = makeList();
    EXPECT_EQ(restarted->currentSyncId(), 2);
    ASSERT_TRUE(restarted->addSync(stationParams()));
    EXPECT_EQ(restarted->currentSyncId(), 3);
}

// A day's new file whose name did not reach the disk (the sync of its directory failed) is not
// taken for durable at the next line: its directory is synced again until that works, or a
// power cut would take the day's numbering back to 0 while the cameras go on with the numbers
// handed out.
TEST_F(syncListTest, aNewFilesNameIsSyncedAgainUntilItReachesTheDisk) {
    int directorySyncs = 0;
    bool failing = true;
    scopedFileFaults faults([&](fileOp op, const QString&) {
        directorySyncs += op == fileOp::SYNC_DIRECTORY ? 1 : 0;
        return failing && op == fileOp::SYNC_DIRECTORY;
    });
    auto list = makeList();
    EXPECT_FALSE(list->addSync(stationParams())) << "the new file's name is not on disk";
    failing = false;
    clock.advance(5);
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(directorySyncs, 2) << "its directory synced again";
    clock.advance(5);
    ASSERT_TRUE(list->addSync(stationParams()));
    EXPECT_EQ(directorySyncs, 2) << "and not once the name is on disk";
}
