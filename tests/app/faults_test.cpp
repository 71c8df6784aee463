// Faults of a running station, each on a whole station in one process (measurement loop and
// two simulated cameras on the simulated clock): the controller keeps running, reports each
// problem once per occurrence, and every good frame still reaches its datafile.
#include "app/stationSetup.h"
#include "format/rleCodec.h"
#include "support/simulatedStation.h"
#include "support/transferFiles.h"

#include "rainModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>
#include <iostream>
#include <random>

namespace {

const double START = 1700006400.0 + 10 * 3600 + 5; // five seconds after a full hour (UTC)

// Names of the files in `dir` (relative to the station folder) that start with `prefix`.
QStringList filesStarting(const simulatedStation& s, const QString& dir, const QString& prefix) {
    QStringList names;
    for (const QString& name : s.fixture.dir.list(dir))
        if (name.startsWith(prefix))
            names << name;
    return names;
}

// Takes the directories `names` of the station folder away for `seconds` of station time, as
// a lost network share does, then brings them back.
void awayFor(simulatedStation& s, const QStringList& names, double seconds) {
    QDir station(s.fixture.dir.path());
    for (const QString& name : names)
        ASSERT_TRUE(station.rename(name, name + ".away"));
    s.run(seconds);
    for (const QString& name : names)
        ASSERT_TRUE(station.rename(name + ".away", name));
}

// The station reaches the measurement again and measures for 20 s.
void measuresAgain(simulatedStation& s) {
    ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 60)) << s.tail(40).toStdString();
    s.run(20);
}

} // namespace

TEST(faults, tenThousandGarbageFilesAreEachReportedOnceAndCostNoGoodFrame) {
    simulatedStation s(START);
    measureFor(s, 10);
    std::mt19937 random(7);
    for (int i = 0; i < 10000; ++i) {
        QByteArray bytes(int(20 + random() % 200), '\0');
        for (char& b : bytes)
            b = char(random());
        bytes[0] = '#'; // never the marker of a transfer file header
        s.fixture.dir.write(QString("cam_a/input/0garbage%1.a.cam").arg(i, 5, 10, QChar('0')),
                            bytes);
    }
    s.run(30);

    QSet<QString> reported;
    const QString prefix = "error : unable to process input data transfer file ";
    for (const QString& m : s.log.messages())
        if (m.startsWith(prefix + "0garbage"))
            reported.insert(m.mid(prefix.size()));
    EXPECT_EQ(s.countStarting(prefix + "0garbage"), 10000);
    EXPECT_EQ(reported.size(), 10000) << "each file once";
    EXPECT_EQ(s.countStarting(prefix), 10000) << "and no good file";
    EXPECT_TRUE(filesStarting(s, "cam_a/input", "0garbage").isEmpty());
    EXPECT_TRUE(filesStarting(s, "temp", "0garbage").isEmpty());
    EXPECT_EQ(s.count("RESYNC"), 0) << s.tail().toStdString();
    EXPECT_TRUE(s.measuring());
    expectNoFrameLost(s);
}

TEST(faults, aTransferFileOfAnUnknownSyncIdIsReportedOnceAndCostsNoGoodFrame) {
    simulatedStation s(START);
    measureFor(s, 8);
    std::vector<frameBytes> frames(3);
    for (size_t i = 0; i < frames.size(); ++i)
        encodeRleFrame({shadowLine{{20, 4}}}, 777, 1000 * i, &frames[i]);
    const QString name = nameAtNow(s, ".a.cam");
    s.fixture.dir.write("cam_a/input/" + name, transferFile(CAM_A, 777, 0, frames, 3000));
    s.run(20);

    EXPECT_EQ(s.count("error : unable to process input data transfer file " + name), 1);
    EXPECT_EQ(s.count("error : retrieved frame is invalid "), 1);
    EXPECT_EQ(s.countStarting("error : unable to process input data transfer file "), 1);
    EXPECT_FALSE(s.fixture.dir.exists("temp/" + name));
    EXPECT_EQ(s.count("RESYNC"), 0);
    expectNoFrameLost(s);
}

TEST(faults, aCameraUsingTheSameTransferFileNameTwiceLosesNothing) {
    simulatedStation s(START);
    measureFor(s, 5);
    // Camera A names every other file like the one before it, once the station has taken
    // that one from the input directory.
    QString previous;
    QSet<QString> seen;
    int reused = 0;
    for (int i = 0; i < 300; ++i) {
        s.step();
        for (const QString& name : filesStarting(s, "cam_a/input", "1")) {
            if (seen.contains(name) || !name.endsWith(".a.cam"))
                continue;
            if (!previous.isEmpty() && !s.fixture.dir.exists("cam_a/input/" + previous) &&
                QFile::rename(s.fixture.dir.file("cam_a/input/" + name),
                              s.fixture.dir.file("cam_a/input/" + previous))) {
                ++reused;
                seen.insert(previous);
                previous.clear();
            } else {
                previous = name;
            }
            seen.insert(name);
        }
    }
    ASSERT_GT(reused, 10);

    // Once more while the first file of that name still waits in the working directory: its
    // twin stays in the input directory until the first is gone, then follows it.
    s.run(1);
    s.cameraA->step();
    QStringList waiting = filesStarting(s, "cam_a/input", "1");
    ASSERT_GE(waiting.size(), 1);
    const QString twin = waiting.first();
    ASSERT_TRUE(QFile::rename(s.fixture.dir.file("cam_a/input/" + twin),
                              s.fixture.dir.file("temp/" + twin)));
    // The camera's next file gets the same name; the one after it a newer one.
    while (filesStarting(s, "cam_a/input", "1").isEmpty()) {
        s.fixture.clock.advance(0.25);
        s.cameraA->step();
    }
    const QString second = filesStarting(s, "cam_a/input", "1").first();
    ASSERT_TRUE(QFile::rename(s.fixture.dir.file("cam_a/input/" + second),
                              s.fixture.dir.file("cam_a/input/" + twin)));
    while (filesStarting(s, "cam_a/input", "1").size() < 2) {
        s.fixture.clock.advance(0.25);
        s.cameraA->step();
    }
    s.run(20);

    EXPECT_EQ(s.countStarting("error"), 0) << s.tail().toStdString();
    EXPECT_EQ(s.count("RESYNC"), 0);
    expectNoFrameLost(s);
}

TEST(faults, anInputDirectoryAwayForLessThanTheSilenceLimitCostsNothing) {
    simulatedStation s(START);
    measureFor(s, 8);
    awayFor(s, {"cam_a/input"}, 6);
    s.run(20);

    EXPECT_EQ(s.count("RESYNC"), 0) << s.tail().toStdString();
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail().toStdString();
    EXPECT_TRUE(s.measuring());
    expectNoFrameLost(s);
}

TEST(faults, aLostShareOfOneCameraIsOneResyncAndTheStationMeasuresAgain) {
    simulatedStation s(START);
    measureFor(s, 8);
    uint16_t before = s.loop->syncs()->currentSyncId();
    // Camera A's input and control directories are one share on a real station.
    awayFor(s, {"cam_a/input", "cam_a/control"}, 20);
    measuresAgain(s);

    EXPECT_EQ(s.count("RESYNC"), 1) << s.tail(40).toStdString();
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    // Each change of the camera's state is told once, with its letter and how long it lasted.
    EXPECT_EQ(s.countStarting("warning : camera A control directory "), 1);
    EXPECT_EQ(s.count("warning : resync : camera A disconnected"), 1);
    EXPECT_EQ(s.count("info : camera A control directory reachable again after 20 s"), 1);
    EXPECT_EQ(s.countStarting("info : camera A delivers again after "), 1);
    EXPECT_NE(s.loop->syncs()->currentSyncId(), before);
    expectNoFrameLost(s);
}

// A camera's share stops answering in the middle of an operation (its server hangs) for half
// a minute: the loop waits the bound once, tells the stall and the return once each with the
// camera's letter, counts the stall in the health, measures again, and loses no frame, also
// of a file whose move returned late.
TEST(faults, aShareThatStopsAnsweringIsToldOnceEachWayCountedAndCostsNoFrame) {
    const struct {
        cam camera;
        shareOp held;
        bool everyFrame; // else the frames of the first interval after the resync may go
    } cases[] = {
        {cam::A, shareOp::move, true},
        {cam::B, shareOp::list, true},
        // Held in the look at the control directory: camera A gets no cancel and measures on
        // until the share answers, so its old synchronisation reaches into the new one's first
        // interval, whose frames pairing then drops.
        {cam::A, shareOp::stat, false},
    };
    for (const auto& c : cases) {
        const QString letter = QString(QLatin1Char(camLetter(c.camera)));
        SCOPED_TRACE(letter.toStdString() + " " + std::to_string(int(c.held)));
        simulatedStation s(START);
        measureFor(s, 8);
        cameraShare& share = s.loop->station().share(c.camera);
        share.holdNext(c.held);
        ASSERT_TRUE(s.runUntil([&] { return share.stalled(); }, 10)) << s.tail(40).toStdString();
        s.run(30);
        EXPECT_TRUE(s.loop->health().camera[camIndex(c.camera)].stalled);
        share.release();
        measuresAgain(s);

        const QString camera = "camera " + letter;
        EXPECT_EQ(s.countStarting("warning : " + camera +
                                  " share not answering: an operation "
                                  "in "),
                  1)
            << s.tail(40).toStdString();
        EXPECT_EQ(s.countStarting("info : " + camera + " share answering again after "), 1);
        EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
        const cameraHealth& health = s.loop->health().camera[camIndex(c.camera)];
        EXPECT_EQ(health.stalls, 1u);
        EXPECT_FALSE(health.stalled);
        EXPECT_EQ(s.loop->health().camera[1 - camIndex(c.camera)].stalls, 0u);
        if (c.everyFrame)
            expectNoFrameLost(s);
    }
}

// After a power cut the station computer is often up before the camera computers: camera A's
// share is away when the station starts (its mount point empty, or its server hanging in the
// first call). The start is bounded all the same (heartbeat and health files within 10 s),
// camera A's configured directories stay in force, camera A is told away once and back once,
// and it measures within 30 s of its share's return.
TEST(faults, aCameraShareAwayAtTheStartJoinsWhenItAnswers) {
    const struct {
        const char* what;
        bool hangs; // else the mount point is empty
        const char* away;
        const char* back;
    } cases[] = {
        {"mount point empty", false, "warning : camera A control directory ",
         "info : camera A control directory reachable again after "},
        {"server hangs", true, "warning : camera A share not answering: ",
         "info : camera A share answering again after "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        simulatedStation s(START, nullptr, "UTC", [&](stationFixture& f) {
            if (c.hangs)
                cameraShare::holdInNextShare(shareOp::stat);
            else
                ASSERT_TRUE(QDir(f.dir.path()).rename("cam_a", "cam_a.away"));
        });
        EXPECT_LE(s.fixture.clock.monotonic(), SHARE_CALL_BOUND_MS / 1000.0) << "start-up";
        ASSERT_TRUE(s.runUntil(
            [&] {
                return s.fixture.dir.exists("check_kiv.txt") &&
                       s.fixture.dir.exists("acquire_kiv.status.json");
            },
            10 - s.fixture.clock.monotonic()));
        s.run(20);
        EXPECT_FALSE(s.measuring());
        if (c.hangs)
            s.loop->station().share(cam::A).release();
        else
            ASSERT_TRUE(QDir(s.fixture.dir.path()).rename("cam_a.away", "cam_a"));
        EXPECT_TRUE(s.runUntil(
            [&] { return s.measuring() && s.loop->writer().framesWritten(cam::A) > 0; }, 30))
            << s.tail(40).toStdString();
        s.run(10);

        EXPECT_EQ(s.loop->cameraA().inputDir(), s.fixture.a->inputDir);
        EXPECT_EQ(s.loop->cameraA().controlDir(), s.fixture.a->controlDir);
        EXPECT_EQ(s.countStarting(c.away), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.countStarting(c.back), 1) << s.tail(40).toStdString();
        // One line each way: nothing else says camera A is away, or back.
        EXPECT_EQ(s.countStarting("warning : camera A"), 1);
        EXPECT_EQ(s.log.messages().filter(QRegularExpression("^info : camera A .*again")).size(),
                  1);
        EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
        expectNoFrameLost(s);
    }
}

// The servers of both cameras hang in every call for a minute: each cycle waits the bound on
// camera A's share and again on camera B's. The health files are rewritten at least every
// 10 s all the same, as the monitoring promises.
TEST(faults, theHealthFilesAreRewrittenEveryTenSecondsWhileBothSharesHang) {
    simulatedStation s(START);
    measureFor(s, 8);
    std::vector<double> writes;
    setFileEventHook([&](fileOp op, const QString&, const QString& target, bool done) {
        if (op == fileOp::RENAME && done && target.endsWith("acquire_kiv.status.json"))
            writes.push_back(s.fixture.clock.monotonic());
    });
    const double end = s.fixture.clock.monotonic() + 60;
    while (s.fixture.clock.monotonic() < end) {
        for (cam c : BOTH_CAMERAS) {
            cameraShare& share = s.loop->station().share(c);
            share.release();
            share.holdNext(shareOp::stat);
        }
        s.step();
    }
    const double last = s.fixture.clock.monotonic();
    setFileEventHook(nullptr);
    for (cam c : BOTH_CAMERAS)
        s.loop->station().share(c).release();

    ASSERT_FALSE(writes.empty());
    double longest = last - writes.back();
    for (size_t i = 1; i < writes.size(); ++i)
        longest = std::max(longest, writes[i] - writes[i - 1]);
    EXPECT_LE(longest, 10.0);
    EXPECT_GE(s.loop->health().camera[0].stalls, 5u) << "the shares did hang";
}

TEST(faults, anInputDirectoryAwayLongerThanTheSilenceLimitRebootsItsCameraOnce) {
    simulatedStation s(START);
    measureFor(s, 8);
    awayFor(s, {"cam_b/input"}, 14);
    measuresAgain(s);

    EXPECT_EQ(s.count("RESYNC"), 1) << s.tail(40).toStdString();
    EXPECT_EQ(s.countStarting("warning : resync : camera B silent for 1"), 1) << "10 s or more";
    EXPECT_EQ(s.countStarting("warning : resync : camera A"), 0);
    EXPECT_EQ(s.count("B: send reboot"), 1);
    EXPECT_EQ(s.count("A: send resync"), 1);
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    expectNoFrameLost(s);
}

// Time synchronisation steps the station clock while it measures: back by an hour (a wrong
// hardware clock set right), back by less than the measurement so far (its datafile names
// come again), forward. The step is one resync; the new synchronisation's frames follow the
// old ones whatever their times, and every frame reaches a datafile.
TEST(faults, aSteppedClockIsOneResyncAndCostsNoFrame) {
    for (double step : {-3600.0, -12.0, 7200.0}) {
        SCOPED_TRACE(step);
        simulatedStation s(START);
        measureFor(s, 12);
        s.fixture.clock.step(step);
        measuresAgain(s);

        EXPECT_EQ(s.count("RESYNC"), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.countStarting("warning : the station clock stepped by "), 1);
        EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
        // Back by less than the measurement so far: the second pass keeps its own files.
        EXPECT_EQ(!s.fixture.dir.list("3sec/repeated").isEmpty(), step == -12.0);
        expectNoFrameLost(s);
        EXPECT_EQ(s.account().droppedAtResync, 0) << s.account();
    }
}

// The days summer time begins and ends in Berlin have 23 and 25 hours. Started 40 s before
// the switch hour, before the full hour of 23:00 local on the long day, and before local
// midnight, the station resyncs once; it reboots the cameras at local midnight and at no other
// hour, and every frame reaches a datafile once.
TEST(faults, summerTimeDaysRebootAtLocalMidnightOnlyAndLoseNoFrame) {
    const struct {
        const char* start; // UTC, 40 s before the hour
        bool reboot;
    } cases[] = {
        {"2026-03-29 00:59:20", false}, // 02:00 CET becomes 03:00 CEST
        {"2026-03-29 21:59:20", true},  // local midnight, 23 hours after the last
        {"2026-10-25 00:59:20", false}, // 03:00 CEST becomes 02:00 CET
        {"2026-10-25 21:59:20", false}, // 23:00 local: an hour before the end of the day
        {"2026-10-25 22:59:20", true},  // local midnight, 25 hours after the last
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        simulatedStation s(double(utcSeconds(c.start)), nullptr, "Europe/Berlin");
        ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 30)) << s.tail().toStdString();
        // How long after its interval's end each datafile was written.
        double latest = 0.0;
        const double end = s.fixture.clock.now() + 80;
        for (QString last; s.fixture.clock.now() < end;) {
            s.step();
            if (s.loop->writer().lastDatafile() != last) {
                last = s.loop->writer().lastDatafile();
                latest = std::max(latest, s.fixture.clock.now() - s.loop->writer().lastInterval());
            }
        }
        EXPECT_LE(latest, 3 + 10.0);
        EXPECT_GE(s.loop->writer().lastInterval(), int32_t(utcSeconds(c.start)) + 40 + 30);
        EXPECT_EQ(s.count("RESYNC"), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.count("A: send reboot") + s.count("B: send reboot"), c.reboot ? 2 : 0);
        EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
        expectNoFrameLost(s);
    }
}

TEST(faults, aControlDirectoryAwayForAMomentIsOneResync) {
    simulatedStation s(START);
    measureFor(s, 8);
    awayFor(s, {"cam_b/control"}, 4);
    measuresAgain(s);

    EXPECT_EQ(s.count("RESYNC"), 1) << s.tail(40).toStdString();
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    expectNoFrameLost(s);
}

// Camera B's control directory is away for a moment while both cameras normalise: each
// camera drops its normalisation (B for its lost share, A at the cancel the station sends it),
// so the station must not wait for their answers but start the handshake again from the
// beginning.
TEST(faults, aControlDirectoryAwayWhileTheCamerasNormaliseStartsTheHandshakeAgain) {
    simulatedStation s(START, [](simulatorSettings& c) { c.normDelayMs = 4000; });
    ASSERT_TRUE(s.runUntil(
        [&] {
            return s.loop->health().camera[0].state == STATE_NORMALISING &&
                   s.loop->health().camera[1].state == STATE_NORMALISING;
        },
        30))
        << s.tail(40).toStdString();
    awayFor(s, {"cam_b/control"}, 1);
    measuresAgain(s);
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    expectNoFrameLost(s);
}

// The datafile directory refuses new files for a while: unwritable (the open fails) or full
// (the write comes back short). Each interval that cannot be written is reported once and
// lost, as the writer's rules have it; everything before and after reaches its datafile.
TEST(faults, aDatafileDirectoryUnwritableOrFullLosesOnlyTheIntervalsItRefused) {
    for (fileOp refused : {fileOp::OPEN, fileOp::WRITE}) {
        SCOPED_TRACE(refused == fileOp::OPEN ? "unwritable" : "full");
        simulatedStation s(START);
        measureFor(s, 8);
        const QString dir = s.fixture.dir.file("3sec");
        int refusals = 0;
        {
            scopedFileFaults faults([&](fileOp op, const QString& path) {
                bool fail = op == refused && path.startsWith(dir) && path.endsWith(".part");
                refusals += fail ? 1 : 0;
                return fail;
            });
            s.run(12);
        }
        s.run(20);
        ASSERT_GT(refusals, 0);

        // One message per refused interval, naming it; the frames lost are those of the
        // intervals named, and no others.
        const QString prefix = refused == fileOp::OPEN
                                   ? " : error : unable to open temp datafile "
                                   : " : error : unable to write temp datafile ";
        QSet<QString> named;
        for (const QString& m : s.log.messages())
            if (m.startsWith(prefix))
                named.insert(QFileInfo(m.mid(prefix.size()).section(' ', 0, 0)).fileName());
        EXPECT_EQ(s.countStarting(prefix), refusals);
        EXPECT_EQ(named.size(), refusals);
        EXPECT_EQ(s.loop->health().intervalsLost, uint64_t(refusals)) << "as the metrics say";
        EXPECT_EQ(s.count("RESYNC"), 0);
        EXPECT_TRUE(s.fixture.dir.list("3sec").filter(".part").isEmpty());
        frameAccount a = s.account();
        std::cout << "fault datafile directory "
                  << (refused == fileOp::OPEN ? "unwritable" : "full") << ": " << a << "\n";
        EXPECT_EQ(a.damaged + a.duplicated + a.foreign, 0) << a;
        EXPECT_GT(a.lost, 0) << a;
        for (const QString& part : named)
            EXPECT_FALSE(s.fixture.dir.exists("3sec/" + part.chopped(5))) << part.toStdString();
        EXPECT_GT(s.account().written, 0);
        // Every lost frame lies in a refused interval: count the sent frames of those.
        QSet<QString> refusedNames;
        for (const QString& part : named)
            refusedNames.insert(part.chopped(5));
        int inRefused = s.sentFramesIn(refusedNames);
        EXPECT_EQ(a.lost, inRefused) << a;
    }
}

// The working directory refuses new entries for a while (full, or its share busy): the files
// that could not be moved are moved first when it takes them again, before any later file of
// their camera, and every frame reaches its datafile. The refusal is told once per camera;
// one that lasts is told as a file set aside, and the camera's later files go on.
TEST(faults, filesTheWorkingDirectoryRefusedAreMovedFirstWhenItTakesThemAgain) {
    const struct {
        const char* what;
        double seconds;
        bool setAside;
    } cases[] = {{"for 15 s", 15, false}, {"for 2 minutes", 120, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        simulatedStation s(START);
        measureFor(s, 8);
        const QString inputs[] = {s.fixture.a->inputDir, s.fixture.b->inputDir};
        {
            scopedFileFaults faults([&](fileOp op, const QString& path) {
                return op == fileOp::RENAME && path.endsWith(".cam") &&
                       (path.startsWith(inputs[0]) || path.startsWith(inputs[1]));
            });
            s.run(c.seconds);
        }
        s.run(90);
        EXPECT_EQ(s.countStarting("warning : input file "), 2) << s.tail(30).toStdString();
        EXPECT_EQ(s.countStarting("error : input file ") > 0, c.setAside)
            << s.tail(30).toStdString();
        if (!c.setAside)
            expectNoFrameLost(s);
        EXPECT_TRUE(s.measuring());
    }
}

// Heavy rain, and camera B's input away for two minutes while its control answers: the
// station resyncs again and again, and camera A's frames of each ended synchronisation, whose
// partners can no longer come, leave its queue within half a minute of its own data rather
// than pile up (before: some 1,300 frames a second more, 280,885 after four minutes). What
// the queues hold stays bounded.
TEST(faults, aCameraInputAwayInHeavyRainHoldsTheOtherCamerasFramesOnlyBriefly) {
    simulatedStation s(START, [](simulatorSettings& settings) { settings.rain = RAIN_HEAVY; });
    measureFor(s, 8);
    QDir station(s.fixture.dir.path());
    ASSERT_TRUE(station.rename("cam_b/input", "cam_b/input.away"));
    size_t most = 0;
    const double end = s.fixture.clock.monotonic() + 120;
    while (s.fixture.clock.monotonic() < end) {
        s.step();
        stationObjects& o = s.loop->station();
        most = std::max(most, o.input(cam::A).queue().size() + o.writer->paired().size());
    }
    ASSERT_TRUE(station.rename("cam_b/input.away", "cam_b/input"));
    measuresAgain(s);
    std::cout << "most frames held with camera B away: " << most << "\n";
    // Camera A delivers some 1,300 frames a second in this rain.
    EXPECT_LT(most, 60000u);
    // Lost are only camera B's frames of the files that went away with its input (a second or
    // two of rain): they come back after camera A's of their time went on alone, as told.
    EXPECT_EQ(s.countStarting("warning : camera B delivered nothing for 30 s"), 1);
    frameAccount a = s.account();
    EXPECT_EQ(a.duplicated + a.foreign + a.damaged, 0) << a;
    EXPECT_LT(a.lost, 3000) << a;
    for (const std::string& lost : a.firstLost)
        EXPECT_EQ(lost.rfind("B 0 ", 0), 0u) << a;
}

// Camera A hangs with the parameter file: it reads "acquire.par" but never removes it. Every
// push to it after that fails and is reported once per push; the station keeps cycling
// through the handshake (and writing its heartbeat), and what was measured before is kept.
TEST(faults, aCameraThatNeverRemovesAcquireParIsReportedOncePerPush) {
    simulatedStation s(START, [](simulatorSettings& settings) {
        if (settings.camera == CAM_A)
            settings.keepParametersAfter = 20;
    });
    measureFor(s, 20);
    const QString partA = s.fixture.a->control("acquire.par.part");
    int pushesA = 0;
    scopedFileFaults count([&](fileOp op, const QString& path) {
        pushesA += op == fileOp::RENAME && path == partA ? 1 : 0;
        return false;
    });
    // A reboot request ends the measurement; the next pushes find the old file in place.
    s.fixture.dir.write("3sec/REBOOT", "");
    s.run(60);

    const QString failed = "error : unable to send acquire.par file to camera A";
    ASSERT_GT(s.count(failed), 1) << s.tail(40).toStdString();
    // The first push after the reboot request reached the camera; all others failed.
    EXPECT_EQ(s.count(failed), pushesA - 1);
    EXPECT_FALSE(QFile::exists(partA)) << "a failed push leaves no part file";
    EXPECT_TRUE(QFile::exists("./check_kiv.txt"));
    EXPECT_FALSE(s.measuring());
    expectNoFrameLost(s);
}

// Camera B obeys "resync", "reboot" and "cancel" but never removes them. The station cannot
// hand it another command of a name still there (the control files never replace one, and
// say nothing of it), so at the second resync camera B goes on measuring and never asks for
// parameters again: the station keeps running, waiting in the handshake, repeats no message,
// and loses nothing; what camera B goes on delivering waits in its input directory.
TEST(faults, aCameraThatNeverRemovesItsCommandFilesStopsNoStation) {
    simulatedStation s(START, [](simulatorSettings& settings) {
        if (settings.camera == CAM_B)
            settings.keepCommands = true;
    });
    measureFor(s, 10);
    s.fixture.dir.write("3sec/REBOOT", "");
    ASSERT_TRUE(s.runUntil([&] { return s.count("RESYNC") == 1; }, 10));
    measuresAgain(s);
    s.fixture.dir.write("3sec/REBOOT", "");
    s.run(60);

    EXPECT_TRUE(s.fixture.b->has("resync"));
    EXPECT_TRUE(s.fixture.b->has("resync.part")) << "the second resync waits beside the first";
    EXPECT_EQ(s.loop->currentPhase(), measurementLoop::PHASE_NORMALISATION);
    EXPECT_GT(s.account().waiting, 0);
    EXPECT_EQ(s.count("RESYNC"), 2) << s.tail(40).toStdString();
    EXPECT_EQ(s.count("info : receiving reboot request due to asynchronity from pw3.exe"), 2);
    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    expectNoFrameLost(s);
}
