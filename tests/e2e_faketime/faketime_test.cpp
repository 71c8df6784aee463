#include "support/e2eStation.h"

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
