#include "input/videoSnapshot.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {

QByteArray normFile(int lines, int rawBase) {
    QByteArray text = "7 " + QByteArray::number(lines) + "\n";
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i) + " 0 " + QByteArray::number(rawBase + i) + " " +
                QByteArray::number(300) + " 0 0\n";
    return text;
}

struct snapshotTest : ::testing::Test {
    snapshotTest() : tz("UTC"), clock(1700006400.0 + 3723), guard(&clock) {
        EXPECT_TRUE(snapshot.setDirectory(dir.path()));
    }
    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    tempStation dir;
    videoSnapshot snapshot;
};

} // namespace

TEST_F(snapshotTest, videoDatIsWrittenOnceBothCamerasAreIn) {
    EXPECT_TRUE(snapshot.readVideoLineFile(dir.write("a.norm.a.cam", normFile(3, 10)), 1));
    EXPECT_FALSE(dir.exists("video.dat")) << "nothing after one camera only";
    EXPECT_TRUE(snapshot.ready(1));
    EXPECT_EQ(snapshot.rawLine(1)[2], 12);
    EXPECT_EQ(snapshot.normLine(1)[0], 255) << "limited to 255";
    EXPECT_TRUE(snapshot.readVideoLineFile(dir.write("b.norm.b.cam", normFile(2, 50)), 2));
    QByteArray dat = dir.read("video.dat");
    QByteArray header = "Time= 01:02:03, Wed Nov 15, 23DATA:\n";
    int section = 20 + header.size() + 1200;
    ASSERT_EQ(dat.size(), 4 * section);
    EXPECT_EQ(dat.left(20), "raw_video_A         ");
    EXPECT_EQ(dat.mid(20, header.size()), header);
    EXPECT_EQ(dat.mid(20 + header.size(), 4), QByteArray("\x0a\x0b\x0c\x00", 4));
    EXPECT_EQ(dat.mid(section, 20), "raw_video_B         ");
    EXPECT_EQ(uint8_t(dat[section + 20 + header.size()]), 50);
    EXPECT_EQ(dat.mid(2 * section, 20), "norm_video_A        ");
    EXPECT_EQ(dat.mid(3 * section, 20), "norm_video_B        ");
    EXPECT_FALSE(snapshot.ready(1));
    EXPECT_EQ(snapshot.rawLine(1)[0], 0) << "cleared after writing";
}

TEST_F(snapshotTest, damagedFilesChangeNothing) {
    ASSERT_TRUE(snapshot.readVideoLineFile(dir.write("good.norm.a.cam", normFile(4, 20)), 1));
    QList<QByteArray> bad = {
        "",
        "just one\n",
        "1 4000000000\n1 2 3 4 5 6\n",
        normFile(5, 0).left(40),            // fewer lines than the count
        "1 2\n0 0 -5 7 0 0\n1 0 3 4 0 0\n", // negative level
        QByteArray("\x00\x01\xfe\xff binary", 12),
    };
    for (const QByteArray& content : bad) {
        EXPECT_FALSE(snapshot.readVideoLineFile(dir.write("x.norm.a.cam", content), 1))
            << content.left(30).toStdString();
        EXPECT_EQ(snapshot.rawLine(1)[3], 23);
    }
    EXPECT_FALSE(snapshot.readVideoLineFile(dir.file("missing"), 1));
    EXPECT_FALSE(snapshot.readVideoLineFile(dir.write("k.norm.a.cam", normFile(1, 0)), 0));
}

TEST_F(snapshotTest, linesBeyondTheVideoLineAreCheckedButNotStored) {
    EXPECT_TRUE(snapshot.readVideoLineFile(dir.write("long.norm.b.cam", normFile(1500, 0)), 2));
    EXPECT_EQ(snapshot.rawLine(2)[1199], 255);
    // Levels beyond any integer are limited like every level above 255.
    EXPECT_TRUE(snapshot.readVideoLineFile(
        dir.write("huge.norm.b.cam", "1 1\n0 0 99999999999999999999999 1 0 0\n"), 2));
    EXPECT_EQ(snapshot.rawLine(2)[0], 255);
}
