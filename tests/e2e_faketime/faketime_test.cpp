#include "format/datafileReader.h"
#include "support/e2eStation.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <gtest/gtest.h>

// The station's clock is faked (faketime); the cameras run on the real one, which is all they
// need: they count lines from the moment they receive their parameters.

namespace {

// A clock offset as faketime reads it: "+3600", "-60".
QString offsetText(qint64 seconds) {
    return QStringLiteral("%1%2").arg(seconds < 0 ? "" : "+").arg(seconds);
}

// Runs a station whose clock starts at `fakeTime` until its first resync; returns the three
// messages from "RESYNC" on and, in `when`, the time stamp of the "RESYNC" line.
QStringList firstResync(const QString& fakeTime, QByteArray* when) {
    e2eStation station(e2eClock::faked);
    station.startCameras();
    station.startStation({}, fakeTime);
    bool resynced = station.waitFor([&] { return station.hasMessage("RESYNC"); }, 60);
    station.stopStation();
    station.stopCameras();
    EXPECT_TRUE(resynced) << station.messages().join("\n").toStdString();
    QStringList m = station.messages();
    QByteArray log = tempStationRead(station.path("station.log"));
    int line = log.indexOf("RESYNC");
    *when = line >= 20 ? log.mid(line - 20, 19) : QByteArray();
    return m.mid(m.indexOf("RESYNC"), 3);
}

} // namespace

TEST(e2eFaketime, theHourlyResyncHappensAtTheFullHour) {
    QByteArray when;
    EXPECT_EQ(firstResync("@2026-12-08 10:59:20", &when),
              QStringList({"RESYNC", "A: send resync", "B: send resync"}));
    // It came with the full hour, not with a silent camera.
    EXPECT_TRUE(when.startsWith("2026-12-08 11:00:0")) << when.toStdString();
}

TEST(e2eFaketime, theCamerasAreRebootedAtLocalMidnight) {
    QByteArray when;
    EXPECT_EQ(firstResync("@2026-12-08 23:59:20", &when),
              QStringList({"RESYNC", "A: send reboot", "B: send reboot"}));
    EXPECT_TRUE(when.startsWith("2026-12-09 00:00:0")) << when.toStdString();
}

namespace {

// The syncIds of the sync list files of `station`, in the order of their lines.
std::vector<uint16_t> syncIdsListed(const e2eStation& station) {
    std::vector<uint16_t> ids;
    for (const QString& name : QDir(station.path("sync")).entryList(QDir::Files, QDir::Name))
        for (const QByteArray& line : tempStationRead(station.path("sync/" + name)).split('\n'))
            if (!line.trimmed().isEmpty())
                ids.push_back(uint16_t(line.simplified().split(' ').value(0).toUInt()));
    return ids;
}

// Time synchronisation sets the clock back while the station measures: the step is told once,
// the station resyncs at once and goes on writing datafiles. Then the station is restarted the
// same day: the sync list's latest second is an earlier synchronisation's, yet no syncId is
// handed out twice. The cameras' frames of the first run are refused after the restart (their
// sync times are not kept), none is placed at a new synchronisation's place, and every other
// frame is written once, in datafiles that all read. The faked clock starts at a fixed time of
// day, so that neither the step nor the run crosses a full hour or midnight whenever it runs.
void restartAfterAStepBack(qint64 step) {
    e2eStation station(e2eClock::faked);
    const QString offset = station.path("clock-offset");
    const qint64 fakeMinusReal =
        utcSeconds("2026-12-08 10:20:00") - QDateTime::currentMSecsSinceEpoch() / 1000;
    auto setOffset = [&](qint64 seconds) {
        QFile file(offset);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(offsetText(seconds).toLatin1());
    };
    setOffset(fakeMinusReal);
    station.startCameras();
    station.startStation({}, "file:" + offset);
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 2; }, 60));
    setOffset(fakeMinusReal + step);
    ASSERT_TRUE(station.waitFor(
        [&] { return station.hasMessage("warning : resync : the station clock stepped"); }, 20));
    const qsizetype stepped = station.datafilePaths().size();
    ASSERT_TRUE(station.waitFor([&] { return station.datafilePaths().size() >= stepped + 3; }, 40));
    EXPECT_EQ(station.messages().filter("warning : the station clock stepped by -").size(), 1);
    EXPECT_EQ(station.stopStation(), 0);
    const std::vector<uint16_t> firstRun = syncIdsListed(station);
    station.startStation({}, "file:" + offset);
    const qsizetype restarted = station.datafilePaths().size();
    const bool goesOn =
        station.waitFor([&] { return station.datafilePaths().size() >= restarted + 3; }, 40);
    station.stopStation();
    station.stopCameras();
    ASSERT_TRUE(goesOn) << station.messages().join("\n").toStdString();

    const std::vector<uint16_t> ids = syncIdsListed(station);
    ASSERT_GT(ids.size(), firstRun.size());
    for (size_t i = 1; i < ids.size(); ++i)
        EXPECT_GT(ids[i], ids[i - 1]) << "line " << i + 1 << " of the sync list";
    EXPECT_TRUE(station.everyFrameOnceWithoutGaps(
        nullptr, std::set<uint16_t>(firstRun.begin(), firstRun.end())));
}

} // namespace

TEST(e2eFaketime, aRestartAfterTheClockSteppedBackAMinuteHandsOutNoSyncIdAgain) {
    restartAfterAStepBack(-60);
}

TEST(e2eFaketime, aRestartAfterTheClockSteppedBackAnHourHandsOutNoSyncIdAgain) {
    restartAfterAStepBack(-3600);
}

namespace {

// Runs a station in Berlin from `start` (UTC, 40 s before an hour) until five datafiles after
// its first resync, and checks what the days of the summer-time switch must not break: one
// resync, a reboot of both cameras exactly when it is local midnight, every frame written once
// without a gap (under the usual names or in repeated/), and each datafile within 10 s of its
// interval's end.
void runThroughTheHour(const char* start, bool midnight) {
    e2eStation station(e2eClock::faked);
    station.useTimeZone("Europe/Berlin");
    station.startCameras();
    // An offset from the real clock rather than a date: a date string inside the hour that
    // comes twice is ambiguous.
    const qint64 fakeMinusReal = utcSeconds(start) - QDateTime::currentMSecsSinceEpoch() / 1000;
    station.startStation({}, offsetText(fakeMinusReal));
    const bool resynced = station.waitFor([&] { return station.hasMessage("RESYNC"); }, 60);
    const int atResync = station.datafilePaths().size();
    const bool goesOn =
        station.waitFor([&] { return station.datafilePaths().size() >= atResync + 5; }, 40);
    station.stopStation();
    station.stopCameras();
    const QStringList m = station.messages();
    ASSERT_TRUE(resynced && goesOn) << m.join("\n").toStdString();

    EXPECT_EQ(m.count("RESYNC"), 1) << m.join("\n").toStdString();
    for (const char* camera : {"A", "B"})
        EXPECT_EQ(m.count(QStringLiteral("%1: send reboot").arg(camera)), midnight ? 1 : 0);
    size_t written = 0;
    EXPECT_TRUE(station.everyFrameOnceWithoutGaps(&written));
    EXPECT_GT(written, 0u);
    // The local name of a datafile stands for one of two UTC intervals in Berlin (the hour that
    // comes twice); the one its writing time fits is its own.
    for (const QString& path : station.datafilePaths()) {
        const int64_t local = datafileLocalSecond(QFileInfo(path).fileName().section('.', 0, 1));
        const double written =
            double(QFileInfo(station.path(path)).lastModified().toMSecsSinceEpoch()) / 1000.0 +
            double(fakeMinusReal);
        double late = 1e9;
        for (int64_t offset : {3600, 7200}) {
            const double behind = written - double(local - offset + 3);
            if (std::fabs(behind) < std::fabs(late))
                late = behind;
        }
        EXPECT_LE(late, 10.0 + 1.0) << path.toStdString() << " written late";
    }
}

} // namespace

TEST(e2eFaketime, summerTimeBeginsTheSwitchHourIsAResync) {
    runThroughTheHour("2026-03-29 00:59:20", false);
}

TEST(e2eFaketime, summerTimeBeginsLocalMidnightAfter23HoursIsTheReboot) {
    runThroughTheHour("2026-03-29 21:59:20", true);
}

TEST(e2eFaketime, summerTimeEndsTheSwitchHourIsAResync) {
    runThroughTheHour("2026-10-25 00:59:20", false);
}

TEST(e2eFaketime, summerTimeEndsLocalMidnightAfter25HoursIsTheReboot) {
    runThroughTheHour("2026-10-25 22:59:20", true);
}
