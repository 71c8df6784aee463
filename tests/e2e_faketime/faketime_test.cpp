#include "support/e2eStation.h"

#include <QFile>

#include <gtest/gtest.h>

// The station's clock is faked (faketime); the cameras run on the real one, which is all they
// need: they count lines from the moment they receive their parameters.

namespace {

// Runs a station whose clock starts at `fakeTime` until its first resync; returns the three
// messages from "RESYNC" on and, in `when`, the time stamp of the "RESYNC" line.
QStringList firstResync(const QString& fakeTime, QByteArray* when) {
    e2eStation station;
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

// Time synchronisation sets the station's clock back an hour while it measures: the step is
// told once, the station resyncs at once and goes on writing datafiles, each of which reads.
TEST(e2eFaketime, aClockSteppedBackAnHourKeepsTheDatafilesComing) {
    e2eStation station;
    const QString offset = station.path("clock-offset");
    auto setOffset = [&](const char* text) {
        QFile file(offset);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    };
    setOffset("+0");
    station.startCameras();
    station.startStation({}, "file:" + offset);
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 2; }, 60))
        << station.messages().join("\n").toStdString();
    const int before = station.datafiles().size();
    setOffset("-3600");
    const bool resynced = station.waitFor(
        [&] { return station.hasMessage("warning : resync : the station clock stepped"); }, 20);
    const bool goesOn =
        station.waitFor([&] { return station.datafiles().size() >= before + 3; }, 40);
    station.stopStation();
    station.stopCameras();
    const QStringList m = station.messages();
    EXPECT_TRUE(resynced) << m.join("\n").toStdString();
    EXPECT_TRUE(goesOn) << station.datafiles().size() << " datafiles\n"
                        << m.join("\n").toStdString();
    EXPECT_EQ(m.filter("warning : the station clock stepped by -3").size(), 1);
    std::vector<e2eFrame> frames;
    QString problem;
    EXPECT_TRUE(station.datafileFrames(&frames, &problem)) << problem.toStdString();
}
