#include "kiv_inspect/datafileCheck.h"
#include "kiv_inspect/datafilePicture.h"
#include "kiv_inspect/inspectCommand.h"
#include "kiv_inspect/pngFile.h"
#include "kiv_inspect/transferSummary.h"
#include "support/inspectFixture.h"
#include "support/testSupport.h"
#include "support/transferFiles.h"
#include "sync/timeConv.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

raster readPicture(const QString& path) {
    raster picture;
    QString error;
    EXPECT_TRUE(readPng(path, &picture, &error)) << error.toStdString();
    return picture;
}

// Grey level of a pixel, 0 black .. 255 white.
int grey(const raster& picture, int x, int y) {
    const rgbColour& c = picture.palette.at(picture.at(x, y));
    return (c.red + c.green + c.blue) / 3;
}

} // namespace

TEST_F(inspectTest, summaryShowsWhatWentIntoTheDatafile) {
    QStringList names = datafiles({0}, wanderingLines(300), wanderingLines(2000, 3));
    ASSERT_EQ(names, QStringList{"01700027.130"}) << "00:00:30 UTC is 05:45:30 local";

    run text({path(names[0])});
    EXPECT_EQ(text.status, INSPECT_INTACT) << text.err.toStdString();
    for (const char* expected :
         {"datafile 01700027.130, ", "  line_frequency      55172.00 Hz\n",
          "  sync second         1700027130 = 2023-11-15 05:45:30 local, 2023-11-15 00:00:30 UTC\n",
          "interval              2023-11-15 05:45:30 local, 2023-11-15 00:00:30 UTC, 3 s (from "
          "the name)\n",
          "  camera A            1 frame, 300 lines, ",
          "  camera B            2 frames, 2000 lines, ", "checksum              stored 0x",
          ": match\n", "verdict               intact\n"})
        EXPECT_TRUE(text.out.contains(expected)) << expected << "\n" << text.out.toStdString();

    QJsonObject j = run({"--json", path(names[0])}).json();
    EXPECT_EQ(j["sync_header"].toObject()["line_frequency"].toDouble(), 55172.0);
    EXPECT_EQ(j["sync_header"].toObject()["sync_utc"].toString(), "2023-11-15 00:00:30");
    EXPECT_EQ(j["interval"].toObject()["utc"].toString(), "2023-11-15 00:00:30");
    EXPECT_EQ(j["interval"].toObject()["local"].toString(), "2023-11-15 05:45:30");
    EXPECT_EQ(j["cameras"].toObject()["A"].toObject()["lines"].toInt(), 300);
    EXPECT_EQ(j["cameras"].toObject()["B"].toObject()["frames"].toInt(), 2);
    EXPECT_EQ(j["entries"].toArray().size(), 3);
    EXPECT_EQ(j["entries"].toArray()[0].toObject()["offset"].toInt(), 56);
    EXPECT_EQ(j["interval_block"].toObject()["end_a"].toDouble(),
              j["entries"].toArray()[0].toObject()["line_position"].toDouble() + 300);
    EXPECT_TRUE(j["checksum"].toObject()["matches"].toBool());
    EXPECT_TRUE(j["intact"].toBool());
    EXPECT_TRUE(j["problems"].toArray().isEmpty());
}

TEST_F(inspectTest, aFlippedByteAnywhereMakesTheFileDamaged) {
    QStringList names = datafiles({0}, wanderingLines(40), wanderingLines(30));
    QByteArray file = dir.read("3sec/" + names.value(0));
    ASSERT_TRUE(checkDatafile(names.value(0), file).intact());
    for (int at = 0; at < file.size(); ++at) {
        QByteArray damaged = file;
        damaged[at] = char(uint8_t(damaged[at]) ^ 0x10);
        datafileVerdict v = checkDatafile(names[0], damaged);
        ASSERT_FALSE(v.intact()) << "byte " << at;
        ASSERT_FALSE(v.content.checksumMatches) << "byte " << at;
    }

    // A byte of the rain data: nothing but the checksum can tell.
    QByteArray damaged = file;
    damaged[file.size() - 100] = char(uint8_t(damaged[file.size() - 100]) ^ 0x10);
    dir.write("3sec/" + names[0], damaged);
    run text({path(names[0])});
    EXPECT_EQ(text.status, INSPECT_DAMAGED);
    EXPECT_TRUE(text.out.contains("rain data             600 bytes, 1 not 0\n"));
    EXPECT_TRUE(text.out.contains(": MISMATCH\n"));
    EXPECT_TRUE(text.out.contains("verdict               DAMAGED\n"));
    QJsonObject j = run({"--json", path(names[0])}).json();
    EXPECT_FALSE(j["intact"].toBool());
    EXPECT_EQ(j["problems"].toArray()[0].toObject()["offset"].toInt(), file.size() - 4);
}

TEST_F(inspectTest, damagedAndStrangeInputEndsInAMessage) {
    QString junk = dir.write("junk", QByteArray(30, 'x'));
    run r({junk});
    EXPECT_EQ(r.status, INSPECT_DAMAGED);
    EXPECT_TRUE(r.out.contains("problem               at byte 0: sync header length: expected 56"));
    EXPECT_EQ(run({dir.file("missing")}).status, INSPECT_DAMAGED);
    EXPECT_EQ(run({dir.path()}).status, INSPECT_DAMAGED);
    EXPECT_EQ(run({dir.write("short.a.cam", "*")}).status, INSPECT_DAMAGED);

    EXPECT_EQ(run({}).status, INSPECT_USAGE);
    EXPECT_EQ(run({"--frobnicate", junk}).status, INSPECT_USAGE);
    EXPECT_EQ(run({"--json", "--image", "x.png", junk}).status, INSPECT_USAGE);
    EXPECT_EQ(run({"--verify"}).status, INSPECT_USAGE);
    EXPECT_EQ(run({"--image"}).status, INSPECT_USAGE);
    run help({"--help"});
    EXPECT_EQ(help.status, INSPECT_INTACT);
    EXPECT_TRUE(help.out.startsWith("usage: kiv_inspect"));
}

TEST_F(inspectTest, transferFileHeaderFramesAndTrailer) {
    std::vector<frameBytes> frames;
    ASSERT_EQ(encodeRleFrames(wanderingLines(2000), 4, 1000, &frames), 0);
    ASSERT_EQ(frames.size(), 2u);
    QByteArray bytes = transferFile(2, 4, 1000, frames, 3000);

    run text({dir.write("x.b.cam", bytes)});
    EXPECT_EQ(text.status, INSPECT_INTACT) << text.out.toStdString();
    for (const char* expected :
         {"transfer file x.b.cam, ", "  camera_id           2 (camera B)\n",
          "  start               syncId 4, lineCounter 1000\n", "frames                2\n",
          "trailer               syncId 4, lineCounter 3000\n", "verdict               intact\n"})
        EXPECT_TRUE(text.out.contains(expected)) << expected << "\n" << text.out.toStdString();

    QJsonObject j = run({"--json", dir.file("x.b.cam")}).json();
    QJsonArray f = j["frames"].toArray();
    ASSERT_EQ(f.size(), 2);
    EXPECT_EQ(f[0].toObject()["offset"].toInt(), 56);
    EXPECT_EQ(f[0].toObject()["lines"].toInt(), 1536);
    EXPECT_EQ(f[1].toObject()["line_counter"].toInt(), 1000 + 1536);
    EXPECT_EQ(f[1].toObject()["bytes"].toInt(), int(frames[1].size()));
    EXPECT_EQ(f[1].toObject()["offset"].toInt(), 56 + int(frames[0].size()));
    EXPECT_TRUE(f[1].toObject()["payload_decodes"].toBool());
    EXPECT_EQ(j["header"].toObject()["body_length"].toInt(),
              int(frames[0].size() + frames[1].size()));

    // The same bytes under camera A's name, a payload broken inside, a body cut short.
    EXPECT_EQ(run({dir.write("x.a.cam", bytes)}).out.count("problem"), 1);
    QByteArray broken = bytes;
    broken[56 + int(frames[0].size()) - 1] = char(0xFF);
    run b({dir.write("broken.b.cam", broken)});
    EXPECT_EQ(b.status, INSPECT_DAMAGED);
    EXPECT_TRUE(
        b.out.contains(QString("at byte %1: frame 0 payload: expected 1536 lines").arg(56 + 16)))
        << b.out.toStdString();
    run cut({dir.write("cut.b.cam", bytes.left(bytes.size() - 11))});
    EXPECT_EQ(cut.status, INSPECT_DAMAGED);
    EXPECT_TRUE(cut.out.contains("file size: expected")) << cut.out.toStdString();
}

TEST(inspectTransfer, anyByteSequenceGivesAReport) {
    std::vector<frameBytes> frames;
    ASSERT_EQ(encodeRleFrames(wanderingLines(100), 1, 0, &frames), 0);
    QByteArray good = transferFile(1, 1, 0, frames, 100);
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        QByteArray b = good;
        int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i)
            b[int(random() % uint32_t(b.size()))] = char(random());
        b.truncate(int(random() % uint32_t(b.size() + 1)));
        transferReport r = inspectTransferFile("r.a.cam", b);
        if (!r.intact()) {
            ASSERT_LE(r.problems.front().offset, int64_t(b.size()));
        }
    }
}

TEST_F(inspectTest, normVideoAndCameraLogFilesAreSummarised) {
    QByteArray norm = "0 3\n0 0 10 200 0 0\n1 0 20 210 0 0\n2 0 300 -0 0 0\n";
    run n({"--json", dir.write("v.norm.b.cam", norm)});
    EXPECT_EQ(n.status, INSPECT_INTACT);
    QJsonObject j = n.json();
    EXPECT_EQ(j["camera"].toString(), "B");
    EXPECT_EQ(j["raw_video"].toObject()["max"].toInt(), 255) << "levels are limited to 255";
    EXPECT_EQ(j["norm_video"].toObject()["non_zero"].toInt(), 2);
    EXPECT_EQ(run({dir.write("w.norm.a.cam", "0 3\n0 0 10\n")}).status, INSPECT_DAMAGED);

    run camLog({dir.write("c.log.a.cam", "camera started\nline two\nlast words\n")});
    EXPECT_EQ(camLog.status, INSPECT_INTACT);
    EXPECT_TRUE(camLog.out.contains("camera log file c.log.a.cam, camera A\n"));
    EXPECT_TRUE(camLog.out.contains("3 lines"));
    EXPECT_TRUE(camLog.out.contains("last line             last words\n"));
}

TEST_F(inspectTest, verifyFindsGapsRenamedFilesAndStrayParts) {
    QStringList names = datafiles({0, 1, 2, 5, 6}, wanderingLines(20), wanderingLines(25));
    ASSERT_EQ(names.size(), 5);
    run clean({"--verify", maker.directory()});
    EXPECT_EQ(clean.status, INSPECT_INTACT) << clean.out.toStdString();
    EXPECT_TRUE(clean.out.contains("  gap    2023-11-15 05:45:39 .. 2023-11-15 05:45:45 local, "
                                   "2023-11-15 00:00:39 .. 2023-11-15 00:00:45 UTC (6 s, "
                                   "2 intervals)\n"))
        << clean.out.toStdString();
    EXPECT_TRUE(clean.out.endsWith("summary: 5 datafiles (2023-11-15 05:45:30 .. 2023-11-15 "
                                   "05:45:51 local), 5 intact, 0 damaged, 1 gap (6 s missing), "
                                   "0 stray .part files\n"))
        << clean.out.toStdString();

    // The file of 05:45:36 renamed to 05:45:39; a datafile write that never finished.
    ASSERT_TRUE(QFile::rename(path(names[2]), path("01700027.139")));
    dir.write("3sec/01700027.148.part", "half");
    dir.write("3sec/video.dat", "snapshot");
    // A second pass of the first interval, kept where the usual names are not.
    dir.mkdir("3sec/repeated");
    ASSERT_TRUE(QFile::copy(path(names[0]), dir.file("3sec/repeated/" + names[0] + ".2")));
    run damaged({"--verify", maker.directory()});
    EXPECT_EQ(damaged.status, INSPECT_DAMAGED);
    EXPECT_TRUE(damaged.out.contains("  01700027.139  DAMAGED  at byte 56: frame entry 0: line "
                                     "position"))
        << damaged.out.toStdString();
    EXPECT_TRUE(
        damaged.out.contains("outside the interval of the name (2023-11-15 05:45:39 .. 05:45:42)"));
    EXPECT_TRUE(damaged.out.contains("  gap    2023-11-15 05:45:36 .. 2023-11-15 05:45:39 "));
    EXPECT_TRUE(damaged.out.contains("  stray  01700027.148.part\n"));
    EXPECT_TRUE(damaged.out.contains("  repeated  repeated/" + names[0] +
                                     ".2 (a second pass of its interval)\n"))
        << damaged.out.toStdString();
    EXPECT_FALSE(damaged.out.contains("video.dat"));

    QJsonObject j = run({"--json", "--verify", maker.directory()}).json();
    EXPECT_EQ(j["datafiles"].toInt(), 5);
    EXPECT_EQ(j["intact_files"].toInt(), 5) << "four datafiles and the second pass";
    EXPECT_EQ(j["repeated"].toArray(), QJsonArray{"repeated/" + names[0] + ".2"});
    EXPECT_EQ(j["damaged"].toArray()[0].toObject()["file"].toString(), "01700027.139");
    EXPECT_EQ(j["gaps"].toArray().size(), 2);
    EXPECT_EQ(j["gaps"].toArray()[1].toObject()["seconds"].toInt(), 3);
    EXPECT_EQ(j["stray"].toArray(), QJsonArray{"01700027.148.part"});
    EXPECT_FALSE(j["intact"].toBool());

    EXPECT_EQ(run({"--verify", dir.file("nowhere")}).status, INSPECT_DAMAGED);

    // Under datafile names: a link to a good datafile elsewhere, and a FIFO (read, it would
    // hold the inspector for good). Neither is a file the station wrote.
    ASSERT_TRUE(QFile::copy(path(names[3]), dir.file("elsewhere")));
    ASSERT_TRUE(QFile::link(dir.file("elsewhere"), path("01700027.160")));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("01700027.163")).constData(), 0644), 0);
    run links({"--verify", maker.directory()});
    EXPECT_TRUE(links.out.contains("  01700027.160  DAMAGED  a link to " + dir.file("elsewhere")))
        << links.out.toStdString();
    EXPECT_TRUE(links.out.contains("  01700027.163  DAMAGED  not a regular file"))
        << links.out.toStdString();
}

TEST_F(inspectTest, aNameBeforeTheSyncSecondOrNotOnTheGridIsDamage) {
    QStringList names = datafiles({0}, wanderingLines(5), wanderingLines(5));
    QByteArray file = dir.read("3sec/" + names.value(0));
    datafileVerdict early = checkDatafile("01700027.124", file);
    ASSERT_FALSE(early.intact());
    EXPECT_TRUE(early.problems.front().text.contains("ends before the sync second 1700027130"));
    datafileVerdict offGrid = checkDatafile("01700027.131", file);
    ASSERT_FALSE(offGrid.intact());
    EXPECT_TRUE(offGrid.problems.front().text.contains("not a multiple of 3"));
    datafileVerdict unnamed = checkDatafile("copy.bin", file);
    EXPECT_TRUE(unnamed.intact());
    EXPECT_EQ(unnamed.intervalSecond, 1700027130) << "taken from the first frame";
}

// A frame's wall-clock time across a summer-time switch: the line position counts the seconds
// since midnight as they pass, the wall clock moves by the switch (an hour in Berlin, half an
// hour on Lord Howe Island), so that the frame lies in the interval its datafile is named by.
TEST(inspectTime, aFramesLocalTimeFollowsTheSwitchOfItsDay) {
    const struct {
        const char* zone;
        const char* sync;  // UTC
        const char* frame; // UTC
        long long offsetAtSync;
        long long offsetAtFrame;
    } cases[] = {
        {"Europe/Berlin", "2026-10-25 00:30:00", "2026-10-25 01:30:00", 7200, 3600},
        {"Europe/Berlin", "2026-03-29 00:30:00", "2026-03-29 01:30:00", 3600, 7200},
        {"Australia/Lord_Howe", "2026-04-04 14:00:00", "2026-04-04 16:00:00", 39600, 37800},
        {"Asia/Kathmandu", "2026-05-01 12:00:00", "2026-05-01 13:00:00", 20700, 20700},
    };
    for (const auto& c : cases) {
        scopedTimeZone tz(c.zone);
        datafileContent content;
        content.sync.lineFrequency = 1000.0;
        content.sync.localSyncSecond = uint32_t(utcSeconds(c.sync) + c.offsetAtSync);
        const long long midnight = localMidnight(utcSeconds(c.sync));
        datafileEntry entry;
        entry.linePosition = double(utcSeconds(c.frame) - midnight) * 1000.0;
        EXPECT_DOUBLE_EQ(entryLocalTime(content, entry),
                         double(utcSeconds(c.frame) + c.offsetAtFrame))
            << c.zone << " " << c.frame;
    }
}

TEST_F(inspectTest, pictureHasDarkPixelsExactlyAtTheSegments) {
    std::vector<shadowLine> a = {{{10, 5}}, {{10, 5}, {30, 2}}, {}, {}, {}, {{0, 1}, {631, 1}}};
    std::vector<shadowLine> b = {{{100, 20}}, {{100, 20}}, {{100, 20}}};
    QStringList names = datafiles({0, 1}, a, b);
    ASSERT_EQ(names.size(), 2);

    QString png = dir.file("out.png");
    run r({"--image", png, path(names[0]), path(names[1])});
    ASSERT_EQ(r.status, INSPECT_INTACT) << r.err.toStdString();
    raster image = readPicture(png);
    ASSERT_FALSE(image.isNull());
    const int window = 632;
    const int height = PICTURE_CAPTION_HEIGHT + int(a.size());
    ASSERT_EQ(image.width(), 2 * window + PICTURE_SEPARATOR_WIDTH);
    ASSERT_EQ(image.height(), 2 * height);

    for (int file = 0; file < 2; ++file) {
        int top = file * height + PICTURE_CAPTION_HEIGHT;
        for (int camera = 0; camera < 2; ++camera) {
            const std::vector<shadowLine>& lines = camera == 0 ? a : b;
            int left = camera == 0 ? 0 : window + PICTURE_SEPARATOR_WIDTH;
            for (size_t row = 0; row < a.size(); ++row) {
                for (int x = 0; x < window; ++x) {
                    bool shadow = false;
                    if (row < lines.size())
                        for (const shadowSegment& s : lines[row])
                            shadow = shadow || (x >= s.start && x < s.start + s.length);
                    bool dark = grey(image, left + x, top + int(row)) < 64;
                    ASSERT_EQ(dark, shadow)
                        << "file " << file << " camera " << camera << " row " << row << " x " << x;
                }
            }
        }
        // The caption line differs from the rows: it carries text on its own background.
        EXPECT_NE(image.at(1, file * height), image.at(1, top));
    }

    EXPECT_EQ(run({"--image", dir.file("x.png"), dir.write("bad", "nonsense")}).status,
              INSPECT_DAMAGED);
}

TEST_F(inspectTest, aPictureTooTallIsScaledNotCut) {
    // Pixels 10, 11 in shadow on every line, 12..14 on every other line: two lines to a row
    // leave the first black and shade the others half.
    const int lines = PICTURE_MAX_ROWS + 5000;
    std::vector<shadowLine> a(static_cast<size_t>(lines));
    for (int i = 0; i < lines; ++i)
        a[size_t(i)] = i % 2 ? shadowLine{{10, 2}} : shadowLine{{10, 5}};
    QStringList names = datafiles({0}, a, wanderingLines(100));
    ASSERT_EQ(names.size(), 1);
    QString png = dir.file("tall.png");
    run r({"--image", png, path(names[0])});
    EXPECT_EQ(r.status, INSPECT_INTACT) << r.err.toStdString();
    EXPECT_TRUE(r.out.endsWith(", scaled: 1 row = 2 lines\n")) << r.out.toStdString();
    raster image = readPicture(png);
    ASSERT_EQ(image.height(), PICTURE_CAPTION_HEIGHT + lines / 2);
    for (int row = PICTURE_CAPTION_HEIGHT; row < image.height(); row += 997) {
        EXPECT_LT(grey(image, 11, row), 16) << row;
        EXPECT_GT(grey(image, 12, row), 64) << row;
        EXPECT_LT(grey(image, 12, row), 192) << row;
        EXPECT_EQ(grey(image, 14, row), grey(image, 12, row));
        EXPECT_EQ(grey(image, 9, row), 255);
        EXPECT_EQ(grey(image, 15, row), 255);
    }
}
