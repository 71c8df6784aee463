#include "input/videoSnapshot.h"
#include "kiv_inspect/fileKind.h"
#include "kiv_inspect/pngFile.h"
#include "kiv_inspect/videoDat.h"
#include "kiv_inspect/videoPlot.h"
#include "support/inspectFixture.h"

#include <QDir>
#include <QJsonArray>

namespace {

// A norm-video file of camera levels: raw level `raw(i)` and normalised `norm(i)` of pixel i.
QByteArray normVideoFile(int (*raw)(int), int (*norm)(int)) {
    QByteArray text = "0 1200\n";
    for (int i = 0; i < VIDEO_LINE_SIZE; ++i)
        text += QByteArray::number(i) + " 0 " + QByteArray::number(raw(i)) + " " +
                QByteArray::number(norm(i)) + " 0 0\n";
    return text;
}

int rawA(int i) {
    return 40 + i / 10;
}
int normA(int) {
    return 200;
}
int rawB(int i) {
    return i < 600 ? 100 : 30;
} // a dark half: a dirty window
int normB(int i) {
    return i % 250;
}

// video.dat as the station writes it, from both cameras' norm-video files.
QString writeVideoDat(tempStation& dir, const QString& subdirectory) {
    QString path = dir.file(subdirectory);
    QDir().mkpath(path);
    videoSnapshot snapshot;
    EXPECT_TRUE(snapshot.setDirectory(path));
    EXPECT_TRUE(
        snapshot.readVideoLineFile(dir.write("n.norm.a.cam", normVideoFile(rawA, normA)), 1));
    EXPECT_TRUE(
        snapshot.readVideoLineFile(dir.write("n.norm.b.cam", normVideoFile(rawB, normB)), 2));
    return path + "/video.dat";
}

} // namespace

TEST(fileKinds, namesAndFirstBytesTellTheKind) {
    const struct {
        const char* name;
        QByteArray head;
        fileKind kind;
    } cases[] = {
        {"01700027.130", "", KIND_DATAFILE},
        {"copy.bin", "\x38\x00\x01", KIND_DATAFILE},
        {"000000001.a.cam", "", KIND_TRANSFER},
        {"x.norm.b.cam", "", KIND_NORM_VIDEO},
        {"x.log.a.cam", "", KIND_CAMERA_LOG},
        {"v23319_1.b.log", "", KIND_CAMERA_LOG},
        {"v23319_1.sync.log", "", KIND_SYNC_LIST},
        {"video.dat", "", KIND_VIDEO_DAT},
        {"video-2024-06-01.dat", "raw_video_A         Time= ", KIND_VIDEO_DAT},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kindOfFile(c.name, c.head), c.kind) << c.name;
}

TEST_F(inspectTest, filesOfOtherKindsAreSummarisedNotDamaged) {
    QString video = writeVideoDat(dir, "3sec");
    run v({"--json", video});
    EXPECT_EQ(v.status, INSPECT_INTACT) << v.out.toStdString();
    QJsonObject j = v.json();
    EXPECT_EQ(j["kind"].toString(), "video_dat");
    EXPECT_EQ(j["raw_video_b"].toObject()["min"].toInt(), 30);
    EXPECT_EQ(j["norm_video_a"].toObject()["max"].toInt(), 200);

    QString syncList = dir.write("v23319_1.sync.log", "         7  01700006430  1700006430.000 \n");
    QString dailyLog = dir.write("v23319_1.a.log", "=== x.log.a.cam\ncamera started\n");
    for (const QString& path : {video, syncList, dailyLog}) {
        run r({path});
        EXPECT_EQ(r.status, INSPECT_INTACT) << path.toStdString() << "\n" << r.out.toStdString();
        EXPECT_FALSE(r.out.contains("DAMAGED")) << r.out.toStdString();
    }
    EXPECT_TRUE(run({syncList}).out.contains("1 planned (full hour)"));

    QByteArray cut = dir.read("3sec/video.dat").left(2000);
    run damaged({dir.write("video.dat", cut)});
    EXPECT_EQ(damaged.status, INSPECT_DAMAGED);
    EXPECT_TRUE(damaged.out.contains("section raw_video_B breaks off"))
        << damaged.out.toStdString();
}

TEST_F(inspectTest, videoPlotDrawsTheLevelsOfOneFileAndOfASeries) {
    QString first = writeVideoDat(dir, "day1");
    videoDatReport f = readVideoDat(first);
    ASSERT_TRUE(f.readable) << f.problem.toStdString();
    for (int i : {0, 599, 600, 1199}) {
        EXPECT_EQ(f.raw[0][i], rawA(i));
        EXPECT_EQ(f.raw[1][i], rawB(i));
        EXPECT_EQ(f.norm[1][i], normB(i));
    }

    videoLayout l;
    raster one = drawVideoPlot({f}, &l);
    ASSERT_FALSE(one.isNull());
    // Camera A's normalised line lies flat at 200; camera B's raw line steps down at 600.
    auto rowOf = [&](int chart, int level) {
        return l.chartTop[chart] + l.chartHeight - 1 - (level * (l.chartHeight - 1) + 127) / 255;
    };
    EXPECT_EQ(one.at(l.left + 900, rowOf(1, 200)), VIDEO_CAMERA_A);
    EXPECT_EQ(one.at(l.left + 300, rowOf(0, 100)), VIDEO_CAMERA_B);
    EXPECT_EQ(one.at(l.left + 900, rowOf(0, 30)), VIDEO_CAMERA_B);

    QString second = writeVideoDat(dir, "day2");
    QString png = dir.file("series.png");
    run r({"--image", png, first, second});
    ASSERT_EQ(r.status, INSPECT_INTACT) << r.err.toStdString();
    raster series;
    QString error;
    ASSERT_TRUE(readPng(png, &series, &error));
    raster expected = drawVideoPlot({f, readVideoDat(second)}, &l);
    ASSERT_EQ(series.height(), expected.height());
    // Raw B band: light left of pixel 600, dark right of it, in both copies' rows.
    for (int copy = 0; copy < 2; ++copy) {
        int y = l.bandTop[1] + copy * l.rowsPerCopy;
        EXPECT_GT(series.at(l.left + 100, y), series.at(l.left + 700, y));
        EXPECT_GE(series.at(l.left + 700, y), VIDEO_FIRST_GREY);
    }
    EXPECT_EQ(run({"--image", png, first, dir.file("3sec/none")}).status, INSPECT_USAGE)
        << "a datafile and video.dat do not go into one picture";
}
