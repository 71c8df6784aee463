#include "input/logDirectory.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {
const QByteArray SEPARATOR =
    "# -----------------------------------------------------------------------------\n";
}

TEST(cameraLogs, blocksAreAppendedToTheDailyFileOfTheCamera) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(1282996800.0); // 2010-08-28, day 240
    scopedStationClock guard(&clock);
    tempStation dir;
    logDirectory logs;
    EXPECT_FALSE(logs.setPath(dir.file("missing")));
    ASSERT_TRUE(logs.setPath(dir.mkdir("log")));
    QString empty = dir.write("e.log.a.cam", "");
    QString two = dir.write("t.log.a.cam", "first line\nno final line end");
    EXPECT_TRUE(appendCameraLog(logs, empty, 1));
    EXPECT_TRUE(appendCameraLog(logs, two, 1));
    EXPECT_EQ(dir.read("log/v10240_1.a.log"),
              SEPARATOR + "# input from file : " + empty.toLocal8Bit() + "\n" + SEPARATOR + "# \n" +
                  SEPARATOR + "# input from file : " + two.toLocal8Bit() + "\n" + SEPARATOR +
                  "first line\nno final line end\n# \n");
    // Shortly after midnight the block goes to the new day's file.
    clock.set(1282996800.0 + 86400 + 5);
    EXPECT_TRUE(appendCameraLog(logs, two, 2));
    EXPECT_TRUE(dir.exists("log/v10241_1.b.log"));
    // Camera kind 0, a missing file, a missing log directory: nothing appended.
    EXPECT_FALSE(appendCameraLog(logs, two, 0));
    EXPECT_FALSE(appendCameraLog(logs, dir.file("none.log.a.cam"), 1));
    logDirectory nowhere;
    EXPECT_FALSE(appendCameraLog(nowhere, two, 1));
    EXPECT_EQ(dir.list("log").size(), 2);
}

// A camera log is copied as text to read in a terminal: control characters show as "\xHH"
// instead of acting (clearing the screen, moving back over the lines before), and the line
// ends of a Windows camera computer become plain ones.
TEST(cameraLogs, controlCharactersAreShownNotObeyed) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(1282996800.0);
    scopedStationClock guard(&clock);
    tempStation dir;
    logDirectory logs;
    ASSERT_TRUE(logs.setPath(dir.mkdir("log")));
    const QString camera = dir.write("c.log.a.cam", "ok\r\n\x1b[2Jcleared\tkept\rback\x7f\x01"
                                                    "end\r");
    ASSERT_TRUE(appendCameraLog(logs, camera, 1));
    EXPECT_TRUE(
        dir.read("log/v10240_1.a.log")
            .endsWith(SEPARATOR + "ok\n\\x1b[2Jcleared\tkept\\x0dback\\x7f\\x01end\\x0d\n# \n"))
        << dir.read("log/v10240_1.a.log").toStdString();
}
