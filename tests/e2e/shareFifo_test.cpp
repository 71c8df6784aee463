// A FIFO planted on a camera share under the name of a control file the station writes: the
// real controller starts, keeps its heartbeat and measures, never waiting in an open.
#include "support/e2eStation.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(e2e, aFifoUnderAControlPartNameHangsNoStation) {
    e2eStation station;
    for (const char* name : {"cam_a/control/connect.part", "cam_b/control/acquire.par.part"})
        ASSERT_EQ(mkfifo(QFile::encodeName(station.path(name)).constData(), 0644), 0) << name;
    station.startCameras();
    station.startStation();
    EXPECT_TRUE(station.waitFor([&] { return QFile::exists(station.path("check_kiv.txt")); }, 10))
        << "heartbeat";
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 2; }, 45))
        << station.messages().join("\n").toStdString();
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();
}
