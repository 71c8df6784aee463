#include "support/e2eStation.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QJsonObject status(const e2eStation& station) {
    return QJsonDocument::fromJson(tempStationRead(station.path("acquire_kiv.status.json")))
        .object();
}

} // namespace

TEST(healthFilesRun, statusAndMetricsFollowARunWithASilencedCamera) {
    e2eStation station;
    station.startCameras({"--b-silent-after", "8"});
    station.startStation();
    ASSERT_TRUE(station.waitFor([&] { return status(station)["phase"].toInt() == 3; }, 20));
    ASSERT_TRUE(station.waitFor(
        [&] { return status(station)["resyncs"].toObject()["silence"].toInt() >= 1; }, 40))
        << tempStationRead(station.path("acquire_kiv.status.json")).toStdString();
    EXPECT_GE(status(station)["reboots"].toObject()["B"].toInt(), 1);
    // The metrics file is renamed into place right after the status file.
    auto metrics = [&] { return tempStationRead(station.path("acquire_kiv.prom")); };
    EXPECT_TRUE(station.waitFor(
        [&] { return metrics().contains("acquire_kiv_resyncs_total{reason=\"silence\"} 1"); }, 5))
        << metrics().toStdString();
    EXPECT_TRUE(metrics().contains("acquire_kiv_reboots_total{camera=\"B\"} 1"));
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();

    // The frames counted as written are exactly the frames in the datafiles.
    std::vector<e2eFrame> frames;
    QString problem;
    ASSERT_TRUE(station.datafileFrames(&frames, &problem)) << problem.toStdString();
    int a = 0, b = 0;
    for (const e2eFrame& f : frames)
        (f.camera == 'A' ? a : b)++;
    QJsonObject s = status(station);
    QJsonObject cameras = s["cameras"].toObject();
    EXPECT_EQ(cameras["A"].toObject()["frames_written"].toInt(), a);
    EXPECT_EQ(cameras["B"].toObject()["frames_written"].toInt(), b);
    EXPECT_GE(cameras["A"].toObject()["frames_read"].toInt(), a);
    EXPECT_EQ(s["datafiles"].toObject()["written"].toInt(), station.datafiles().size());
    EXPECT_GT(a + b, 0);
}
