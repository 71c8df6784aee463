#include "support/e2eStation.h"

#include <gtest/gtest.h>

// The station's clock is faked (faketime); the cameras run on the real one, which is all they
// need: they count lines from the moment they receive their parameters.

TEST(e2eFaketime, theHourlyResyncHappensAtTheFullHour) {
    e2eStation station;
    station.startCameras();
    station.startStation({}, "@2026-12-08 10:59:20");
    ASSERT_TRUE(station.waitFor([&] { return station.hasMessage("RESYNC"); }, 60))
        << station.messages().join("\n").toStdString();
    station.stopStation();
    station.stopCameras();
    QStringList m = station.messages();
    int at = m.indexOf("RESYNC");
    EXPECT_EQ(m.mid(at, 3), QStringList({"RESYNC", "A: send resync", "B: send resync"}));
    // It came with the full hour, not with a silent camera.
    QByteArray log = tempStationRead(station.path("station.log"));
    int line = log.indexOf("RESYNC");
    EXPECT_EQ(log.mid(line - 9, 3), "11:") << log.toStdString();
}

TEST(e2eFaketime, theCamerasAreRebootedAtLocalMidnight) {
    e2eStation station;
    station.startCameras();
    station.startStation({}, "@2026-12-08 23:59:20");
    ASSERT_TRUE(station.waitFor([&] { return station.hasMessage("RESYNC"); }, 60))
        << station.messages().join("\n").toStdString();
    station.stopStation();
    station.stopCameras();
    QStringList m = station.messages();
    int at = m.indexOf("RESYNC");
    EXPECT_EQ(m.mid(at, 3), QStringList({"RESYNC", "A: send reboot", "B: send reboot"}));
    QByteArray log = tempStationRead(station.path("station.log"));
    EXPECT_TRUE(log.mid(log.indexOf("RESYNC") - 20, 20).startsWith("2026-12-09 00:00:0"))
        << log.toStdString();
}
