#include "app/handshake.h"
#include "app/measurementLoop.h"
#include "app/videoLoop.h"
#include "support/stationFixture.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const double HOUR_START = 1700006400.0 + 10 * 3600; // a full hour (UTC)
const double LINES_PER_SECOND = 55172.0;

struct loopTest : ::testing::Test {
    explicit loopTest(double start = HOUR_START + 5.0) : station(start) {}

    void makeLoop(bool calibration = false) {
        loop = std::make_unique<measurementLoop>(calibration, "./acquire_kiv.set");
    }
    // Cycles until `done` holds; fails after `limit` cycles.
    template <typename P> void cycleUntil(P done, int limit = 200) {
        for (int i = 0; i < limit && !done(); ++i)
            loop->cycle();
        ASSERT_TRUE(done()) << "phase " << loop->currentPhase() << " states " << loop->stateA()
                            << "/" << loop->stateB();
    }
    // Both cameras through normalisation; returns the records they received.
    void normalise(cameraParams* pushedA = nullptr, cameraParams* pushedB = nullptr) {
        station.a->put("connect");
        station.b->put("connect");
        cycleUntil(
            [&] { return loop->stateA() >= STATE_CONNECTED && loop->stateB() >= STATE_CONNECTED; });
        station.a->put("request.sync");
        station.b->put("request.sync");
        cycleUntil([&] {
            return loop->stateA() == STATE_NORMALISING && loop->stateB() == STATE_NORMALISING;
        });
        cameraParams pa, pb;
        ASSERT_TRUE(station.a->takeParameters(pushedA ? pushedA : &pa));
        ASSERT_TRUE(station.b->takeParameters(pushedB ? pushedB : &pb));
        station.a->put("norm.success");
        station.b->put("norm.success");
        cycleUntil([&] { return loop->currentPhase() == measurementLoop::PHASE_PARAMETERS; });
    }
    // Phase 2 to the measurement.
    void startMeasurement(cameraParams* pushedA = nullptr) {
        station.a->put("request.sync");
        station.b->put("request.sync");
        cycleUntil([&] { return loop->currentPhase() == measurementLoop::PHASE_MEASUREMENT; });
        cameraParams pa, pb;
        ASSERT_TRUE(station.a->takeParameters(pushedA ? pushedA : &pa));
        ASSERT_TRUE(station.b->takeParameters(&pb));
    }
    // Line counter of second `s` after the sync.
    uint64_t lines(double s) const { return uint64_t(s * LINES_PER_SECOND); }
    QStringList datafiles() {
        return QDir(station.dir.file("3sec")).entryList({"*.???"}, QDir::Files, QDir::Name);
    }

    stationFixture station;
    messageCapture log;
    std::unique_ptr<measurementLoop> loop;
};

struct loopAtQuarterZone : loopTest {
    loopAtQuarterZone() : loopTest(0) {}
};

} // namespace

TEST_F(loopTest, connectedCamerasAreResetBeforeTheHandshake) {
    station.a->put("connect");
    makeLoop();
    loop->cycle(); // restart
    EXPECT_TRUE(station.a->has("resync"));
    EXPECT_TRUE(station.a->has("cancel"));
    EXPECT_FALSE(station.b->has("resync")) << "camera B was not connected";
    EXPECT_EQ(loop->currentPhase(), measurementLoop::PHASE_NORMALISATION);
}

TEST_F(loopTest, handshakeToMeasurementWithANewSync) {
    makeLoop(true);
    cameraParams normA, normB, measA;
    normalise(&normA, &normB);
    EXPECT_EQ(normA.operationMode, OPMODE_NORMALISATION);
    EXPECT_EQ(normA.cameraId, CAM_A);
    EXPECT_EQ(normB.cameraId, CAM_B);
    EXPECT_EQ(normA.calibrationMode, 1) << "the calibration flag marks the normalisation push";
    EXPECT_TRUE(log.messages().contains("note : calibration flag is set"));
    EXPECT_TRUE(log.messages().contains("warning : unable to read local acquire.par file"));
    EXPECT_FALSE(station.a->has("norm.success"));
    startMeasurement(&measA);
    EXPECT_EQ(measA.operationMode, OPMODE_MEASUREMENT);
    EXPECT_EQ(measA.calibrationMode, 0) << "the measurement push keeps the files' calibration mode";
    EXPECT_EQ(measA.nextSyncId, 0);
    ASSERT_TRUE(loop->currentSync());
    EXPECT_LE(loop->currentSync()->syncSecond(), int64_t(station.clock.now()));
    EXPECT_GE(loop->currentSync()->syncSecond(), int64_t(HOUR_START));
    EXPECT_EQ(loop->resyncSecond(), int32_t(HOUR_START) + 3600);
    EXPECT_FALSE(loop->rebootFlag());
    EXPECT_TRUE(QFile::exists("./check_kiv.txt"));
}

TEST_F(loopTest, aNormalisedCameraWaitsForTheOtherByStartingAgain) {
    makeLoop();
    station.a->put("connect");
    station.b->put("connect");
    cycleUntil([&] { return loop->stateA() == STATE_CONNECTED; });
    // Force the situation: A normalised while B is still waiting for its request.
    station.a->put("request.sync");
    station.b->put("request.sync");
    cycleUntil([&] { return loop->stateA() == STATE_NORMALISING; });
    station.a->put("norm.success");
    station.b->take("connect"); // B falls back to state 0
    cycleUntil(
        [&] { return loop->stateA() == STATE_DISCONNECTED || loop->stateA() == STATE_CONNECTED; });
    EXPECT_LE(loop->stateB(), STATE_REQUESTED);
}

TEST_F(loopTest, datafilesAreWrittenFromDeliveredFrames) {
    makeLoop();
    normalise();
    startMeasurement();
    uint16_t sync = 0; // the first sync of the day
    station.a->deliver(sync, {lines(1.0), lines(2.0), lines(4.0), lines(7.5)}, lines(8.0));
    station.b->deliver(sync, {lines(1.5), lines(4.5), lines(7.6)}, lines(8.0));
    cycleUntil([&] { return datafiles().size() >= 2; }, 40);
    EXPECT_EQ(loop->currentPhase(), measurementLoop::PHASE_MEASUREMENT);
    EXPECT_TRUE(QDir(station.dir.file("temp")).entryList(QDir::Files).isEmpty());
}

TEST_F(loopTest, aSilentCameraEndsTheMeasurementWithAReboot) {
    makeLoop();
    normalise();
    startMeasurement();
    int64_t start = int64_t(station.clock.now());
    uint64_t next = 0;
    // Camera A delivers every second, camera B nothing.
    while (int64_t(station.clock.now()) < start + 14 &&
           loop->currentPhase() == measurementLoop::PHASE_MEASUREMENT) {
        station.a->deliverEmpty(0, next += lines(1.0));
        loop->cycle();
    }
    EXPECT_EQ(loop->currentPhase(), measurementLoop::PHASE_RESTART);
    QStringList m = log.messages();
    int at = m.indexOf("RESYNC");
    ASSERT_GE(at, 0);
    EXPECT_EQ(m.mid(at, 3), QStringList({"RESYNC", "A: send resync", "B: send reboot"}));
    EXPECT_TRUE(station.a->has("cancel") && station.a->has("resync"));
    EXPECT_TRUE(station.b->has("cancel") && station.b->has("reboot"));
    EXPECT_GE(station.clock.now(), start + 11.0);
}

TEST_F(loopTest, theFullHourResyncs) {
    station.clock.set(HOUR_START + 3540.0); // a minute before the next full hour
    makeLoop();
    normalise();
    startMeasurement();
    uint64_t next = 0;
    while (loop->currentPhase() == measurementLoop::PHASE_MEASUREMENT) {
        station.a->deliverEmpty(0, next += lines(1.0));
        station.b->deliverEmpty(0, next);
        loop->cycle();
    }
    EXPECT_GE(station.clock.now(), HOUR_START + 3600);
    EXPECT_LT(station.clock.now(), HOUR_START + 3603);
    EXPECT_TRUE(log.messages().contains("A: send resync"));
    EXPECT_TRUE(log.messages().contains("B: send resync"));
}

TEST_F(loopTest, aRebootRequestResyncsAndIsCleared) {
    makeLoop();
    normalise();
    startMeasurement();
    station.dir.write("3sec/REBOOT", "");
    loop->cycle();
    EXPECT_FALSE(station.dir.exists("3sec/REBOOT"));
    EXPECT_TRUE(log.messages().contains(
        "info : receiving reboot request due to asynchronity from pw3.exe"));
    EXPECT_EQ(loop->currentPhase(), measurementLoop::PHASE_RESTART);
}

TEST_F(loopTest, heartbeatNeverReplacesAnUntakenCheckFile) {
    makeLoop();
    station.dir.write("check_kiv.txt", "old");
    for (int i = 0; i < 20; ++i)
        loop->cycle();
    EXPECT_EQ(station.dir.read("check_kiv.txt"), "old");
    EXPECT_FALSE(station.dir.exists("check_kiv.txt.part"));
    QFile::remove("check_kiv.txt");
    station.clock.advance(1.0);
    loop->cycle();
    QByteArray beat = station.dir.read("check_kiv.txt");
    ASSERT_EQ(beat.size(), 111);
    EXPECT_EQ(beat.trimmed().toLongLong(), int64_t(station.clock.now()));
}

TEST_F(loopTest, theResyncSecondIsTheNextFullHour) {
    for (double offset : {0.0, 5.0}) {
        station.clock.set(HOUR_START + offset);
        makeLoop();
        normalise();
        startMeasurement();
        int64_t t0 = loop->currentSync()->syncSecond();
        EXPECT_EQ(loop->resyncSecond(), (t0 / 3600) * 3600 + 3600) << offset;
    }
}

TEST_F(loopAtQuarterZone, theLastResyncOfTheDayIsAtLocalMidnightAndReboots) {
    scopedTimeZone nepal("Asia/Kathmandu");
    long long midnight = localSeconds(2024, 5, 2, 0, 0, 0);
    // 23:50 local, 18:05 UTC: the next full hour (19:00 UTC) lies after local midnight
    // (18:15 UTC).
    station.clock.set(double(midnight) - 600.0);
    makeLoop();
    normalise();
    startMeasurement();
    EXPECT_EQ(loop->resyncSecond(), int32_t(midnight)) << "the day ends before the full hour";
    EXPECT_TRUE(loop->rebootFlag());
}

// Time synchronisation steps the wall clock while the station measures. A step is told once
// and ends the measurement, so that the next sync carries the right time; the heartbeat, which
// runs on the monotonic clock, goes on through it. Slewing-sized changes are no step.
TEST_F(loopTest, aSteppedWallClockIsToldOnceAndResyncsWithoutAStall) {
    const struct {
        double step;
        const char* warning; // null: none expected
    } cases[] = {
        {-3600.0, "warning : the station clock stepped by -3600.0 s"},
        {7200.0, "warning : the station clock stepped by 7200.0 s"},
        {1.5, nullptr},
    };
    for (const auto& c : cases) {
        makeLoop();
        normalise();
        startMeasurement();
        log.clear();
        station.clock.step(c.step);
        loop->cycle();
        const bool told = c.warning != nullptr;
        EXPECT_EQ(log.messages().count(c.warning ? c.warning : ""), told ? 1 : 0) << c.step;
        EXPECT_EQ(loop->health().resyncs[RESYNC_CLOCK_STEP], told ? 1u : 0u) << c.step;
        EXPECT_EQ(loop->currentPhase(),
                  told ? measurementLoop::PHASE_RESTART : measurementLoop::PHASE_MEASUREMENT)
            << c.step;
        QFile::remove("check_kiv.txt");
        station.clock.advance(1.0);
        const int64_t beat = int64_t(station.clock.now());
        loop->cycle();
        loop->cycle(); // a restart writes none; the handshake's first cycle does
        const int64_t written = station.dir.read("check_kiv.txt").trimmed().toLongLong();
        EXPECT_TRUE(written >= beat && written <= beat + 1)
            << "heartbeat " << written << " after a step of " << c.step;
    }
}

// Where a local hour comes twice a year, the operator is told at the start where the second
// pass of its datafiles goes.
TEST_F(loopTest, aZoneWithSummerTimeIsToldOnceAtTheStart) {
    const struct {
        const char* zone;
        bool summer;
    } zones[] = {{"Europe/Vienna", true},
                 {"America/St_Johns", true},
                 {"UTC", false},
                 {"Asia/Kathmandu", false}};
    for (const auto& [zone, summer] : zones) {
        scopedTimeZone tz(zone);
        log.clear();
        makeLoop();
        EXPECT_EQ(log.messages().count("warning : the local time zone has summer time: datafiles "
                                       "of the hour that comes twice when it ends are kept in " +
                                       station.dir.file("3sec/repeated")),
                  summer ? 1 : 0)
            << zone;
    }
}

// At the start the station says what is in force, and as errors what cannot work.
// Both run loops keep the same watch over the shares: camera B's share stops answering during
// the handshake; the stall and the return are told once each with the camera's letter, the
// stall is counted in the health, and when the share answers the handshake starts again with
// resync and cancel to every connected camera (a late command may have reached it).
TEST_F(loopTest, bothLoopsTellAStallInTheHandshakeOnceEachWayAndResetTheCameras) {
    for (bool video : {false, true}) {
        SCOPED_TRACE(video ? "video loop" : "measurement loop");
        for (const char* name : {"cancel", "resync", "acquire.par", "request.sync"}) {
            station.a->take(name);
            station.b->take(name);
        }
        log.clear();
        station.a->put("connect");
        station.b->put("connect");
        std::unique_ptr<videoLoop> videoRun;
        if (video)
            videoRun = std::make_unique<videoLoop>("./acquire_kiv.set");
        else
            makeLoop();
        stationObjects& objects = video ? videoRun->station() : loop->station();
        auto cycle = [&] {
            if (video)
                videoRun->cycle();
            else
                loop->cycle();
        };
        auto health = [&]() -> const cameraHealth& {
            return (video ? videoRun->health() : loop->health()).camera[1];
        };
        for (int i = 0; i < 3; ++i)
            cycle();
        station.b->take("cancel");
        station.b->take("resync");

        objects.shareB.holdNext(shareOp::stat);
        for (int i = 0; i < 5; ++i)
            cycle();
        EXPECT_TRUE(health().stalled);
        EXPECT_EQ(health().stalls, 1u);
        EXPECT_FALSE(station.b->has("cancel")) << "nothing reaches a share that does not answer";
        objects.shareB.release();
        cycle();
        EXPECT_FALSE(health().stalled);
        EXPECT_EQ(health().stalls, 1u);
        EXPECT_TRUE(station.b->has("resync"));
        EXPECT_TRUE(station.b->has("cancel"));
        const QStringList m = log.messages();
        EXPECT_EQ(m.filter(QRegularExpression("^warning : camera B share not answering: an "
                                              "operation in .* took longer than 5 s$"))
                      .size(),
                  1)
            << m.join("\n").toStdString();
        EXPECT_EQ(
            m.filter(QRegularExpression("^info : camera B share answering again after \\d+ s$"))
                .size(),
            1);
        EXPECT_TRUE(m.filter("camera A share").isEmpty());
        loop.reset();
    }
}

TEST(startupReport, saysWhatIsInForceAndWhatIsMissing) {
    const struct {
        const char* removed; // from the station folder before the start
        const char* expected;
        int errors; // directories that do not work
    } cases[] = {
        {nullptr, "info : station configuration ./acquire_kiv.set read", 0},
        // The Windows defaults name folders that a Linux station folder does not have; the
        // cameras' are their shares', told by the share watch.
        {"acquire_kiv.set",
         "warning : station configuration ./acquire_kiv.set not found -> the default "
         "directories are in force",
         5},
        {"sync", "error : sync list directory ", 1},
        // A camera's share away at the start: its directory stays in force, and is no error of
        // the configuration.
        {"cam_b/control", "info : camera B control directory : ", 0},
    };
    for (const auto& c : cases) {
        stationFixture station(HOUR_START);
        if (c.removed) {
            ASSERT_TRUE(QFile::remove(station.dir.file(c.removed)) ||
                        QDir(station.dir.file(c.removed)).removeRecursively())
                << c.removed;
        }
        messageCapture log;
        measurementLoop loop(false, "./acquire_kiv.set");
        int found = 0;
        for (const QString& m : log.messages())
            found += m.startsWith(c.expected) ? 1 : 0;
        EXPECT_EQ(found, 1) << c.expected;
        int errors = 0;
        for (const QString& m : log.messages())
            errors += m.startsWith("error") ? 1 : 0;
        EXPECT_EQ(errors, c.errors) << c.expected;
        if (c.removed && QByteArray(c.removed).startsWith("cam_b")) {
            EXPECT_EQ(loop.cameraB().controlDir(), station.dir.file(c.removed));
        }
    }
}
