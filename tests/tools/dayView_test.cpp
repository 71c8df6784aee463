#include "kiv_inspect/dayExport.h"
#include "kiv_inspect/dayFigures.h"
#include "kiv_inspect/dayPicture.h"
#include "kiv_inspect/pngFile.h"
#include "kiv_inspect/shadowTally.h"
#include "support/inspectFixture.h"

#include <QFile>
#include <QJsonArray>

#include <tuple>

namespace {

const int WINDOW = 632;
const double LINES_PER_INTERVAL = 3 * 55172.0;
// Minute of the day of the sync time 05:45:30 local, and of the next.
const int MINUTE = 5 * 60 + 45;

std::vector<shadowLine> constantLines(int count, shadowSegment segment) {
    return std::vector<shadowLine>(size_t(count), shadowLine{segment});
}

// Shadowed lines per pixel, counted from the lines the station's decoder gives.
std::vector<int64_t> decodedCounts(const QByteArray& file, const datafileEntry& entry) {
    std::vector<int64_t> counts(WINDOW, 0);
    std::vector<shadowLine> lines;
    EXPECT_EQ(decodeDatafileEntry(reinterpret_cast<const uint8_t*>(file.constData()),
                                  size_t(file.size()), entry, &lines),
              0);
    for (const shadowLine& line : lines)
        for (const shadowSegment& s : line)
            for (int x = s.start; x < s.start + s.length && x < WINDOW; ++x)
                ++counts[size_t(x)];
    return counts;
}

std::tuple<int, int, bool> span(const dayGap& g) {
    return std::make_tuple(g.from, g.to, g.notRunning);
}

std::vector<int> intervalRange(int from, int to, int without = -1) {
    std::vector<int> range;
    for (int i = from; i < to; ++i)
        if (i != without)
            range.push_back(i);
    return range;
}

struct dayTest : inspectTest {
    // Intervals 0 and 1 (minute MINUTE), 20 and 22 (the next minute): camera A 2000 lines with
    // shadow on pixels 100..109 (two frames each), camera B 100 lines on 200..202.
    QStringList writeDay() {
        return datafiles({0, 1, 20, 22}, constantLines(2000, {100, 10}),
                         constantLines(100, {200, 3}));
    }
    void writeSyncList(const QByteArray& text) { dir.write("sync/v23319_1.sync.log", text); }
    dayFigures scan(int64_t now = int64_t(1) << 40, int threads = 2) {
        return scanDay(maker.directory(), dayOfDate("2023-11-15"),
                       findSyncList(maker.directory(), dayOfDate("2023-11-15")), now, threads);
    }
};

} // namespace

TEST_F(inspectTest, shadowTallyCountsWhatTheDecoderDecodes) {
    std::vector<shadowLine> many;
    for (int i = 0; i < 300; ++i)
        many.push_back(shadowLine{{uint16_t(i % 7), 3},
                                  {uint16_t(50 + i % 11), 20},
                                  {uint16_t(620 + i % 5), 30}}); // the last reaches past the window
    std::vector<shadowLine> repeated = constantLines(3000, {5, 600});
    repeated[1700] = shadowLine{};
    QStringList names = datafiles({0}, wanderingLines(2500), many);
    QStringList more = datafiles({1}, repeated, std::vector<shadowLine>(40));
    names << more;
    for (const QString& name : names) {
        QByteArray file = dir.read("3sec/" + name);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file.constData());
        datafileContent content;
        datafileProblem problem;
        ASSERT_TRUE(readDatafile(bytes, size_t(file.size()), &content, &problem));
        ASSERT_GE(content.entries.size(), 2u);
        for (const datafileEntry& entry : content.entries) {
            // In the whole file, and in bytes that end with the frame's payload: codes are
            // read ahead, never past the bytes given.
            const size_t wholeSize = size_t(file.size());
            const std::vector<uint8_t> cut(bytes, bytes + entry.dataOffset + entry.dataLength);
            for (const uint8_t* b : {bytes, cut.data()}) {
                const size_t size = b == bytes ? wholeSize : cut.size();
                shadowTally tally(WINDOW);
                std::vector<int64_t> difference(WINDOW + 1, 0);
                ASSERT_TRUE(tally.addFrame(b, size, entry, difference.data()));
                std::vector<int64_t> counts(WINDOW, 0);
                addShadowCounts(difference.data(), WINDOW, counts.data());
                EXPECT_EQ(counts, decodedCounts(file, entry)) << name.toStdString();

                // A frame that breaks off adds nothing, also after lines it had counted.
                datafileEntry shorter = entry;
                --shorter.numLines;
                std::vector<int64_t> none(WINDOW + 1, 0);
                EXPECT_FALSE(tally.addFrame(b, size, shorter, none.data()));
                EXPECT_EQ(none, std::vector<int64_t>(WINDOW + 1, 0));
            }
        }
    }
}

TEST_F(dayTest, figuresPerMinuteGapsAndDamage) {
    QStringList names = writeDay();
    ASSERT_EQ(names.size(), 4);
    dayFigures day = scan();
    ASSERT_EQ(day.window, WINDOW);
    EXPECT_EQ(day.datafiles, 4);
    EXPECT_EQ(day.present[MINUTE], 2);
    EXPECT_EQ(day.present[MINUTE + 1], 2);
    EXPECT_EQ(day.frames[0][MINUTE], 4) << "2000 lines take two frames";
    EXPECT_EQ(day.frames[1][MINUTE], 2);
    EXPECT_DOUBLE_EQ(day.ratio(MINUTE), 2.0);
    EXPECT_LT(day.ratio(MINUTE - 1), 0) << "no frames: no ratio";
    EXPECT_EQ(day.lines[0][MINUTE], 4000);
    EXPECT_DOUBLE_EQ(day.occupancy(0, MINUTE, 100), 4000 / (2 * LINES_PER_INTERVAL));
    EXPECT_DOUBLE_EQ(day.occupancy(0, MINUTE, 109), 4000 / (2 * LINES_PER_INTERVAL));
    EXPECT_EQ(day.occupancy(0, MINUTE, 110), 0.0);
    EXPECT_EQ(day.occupancy(1, MINUTE, 100), 0.0);
    EXPECT_DOUBLE_EQ(day.occupancy(1, MINUTE + 1, 202), 200 / (2 * LINES_PER_INTERVAL));
    EXPECT_DOUBLE_EQ(day.dayOccupancy(0, 105), 8000 / (4 * LINES_PER_INTERVAL));

    // All but intervals 0, 1, 20 and 22 after 05:45:30 are missing: before the first and after
    // the last the station did not run, between them it missed intervals.
    std::vector<dayGap> gaps = day.gaps();
    const int first = (5 * 3600 + 45 * 60 + 30) / 3;
    ASSERT_EQ(gaps.size(), 4u);
    EXPECT_EQ(span(gaps[0]), std::make_tuple(0, first, true));
    EXPECT_EQ(span(gaps[1]), std::make_tuple(first + 2, first + 20, false));
    EXPECT_EQ(span(gaps[2]), std::make_tuple(first + 21, first + 22, false));
    EXPECT_EQ(span(gaps[3]), std::make_tuple(first + 23, DAY_INTERVALS, true));

    // A file damaged is neither counted nor missing; intervals after now are only due.
    QByteArray bytes = dir.read("3sec/" + names[1]);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
    dir.write("3sec/" + names[1], bytes);
    int64_t now = datafileLocalSecond(names[3]) + 3 + DATAFILE_DELAY + 2;
    day = scan(now);
    EXPECT_EQ(day.damaged, 1);
    EXPECT_EQ(day.damagedNames, std::vector<QString>{names[1]});
    EXPECT_EQ(day.intervals[size_t(first + 1)], INTERVAL_DAMAGED);
    EXPECT_EQ(day.frames[0][MINUTE], 2);
    EXPECT_EQ(day.intervals[size_t(first + 24)], INTERVAL_FUTURE);
    EXPECT_EQ(span(day.gaps().back()), std::make_tuple(first + 21, first + 22, false));
}

TEST_F(dayTest, figuresDoNotDependOnTheReaders) {
    // Minutes of rain and minutes of damage, shared out among one, two and five readers.
    QStringList names = datafiles({0, 1, 20, 22, 40, 41, 42, 60, 80, 81, 100, 120},
                                  constantLines(2000, {100, 10}), wanderingLines(300));
    for (int i : {11, 1, 7, 4}) {
        QByteArray bytes = dir.read("3sec/" + names[i]);
        bytes[100] = char(bytes[100] ^ 0x01);
        dir.write("3sec/" + names[i], bytes);
    }
    const dayFigures one = scan(int64_t(1) << 40, 1);
    EXPECT_EQ(one.damagedNames, (std::vector<QString>{names[1], names[4], names[7], names[11]}));
    for (int threads : {2, 5}) {
        const dayFigures day = scan(int64_t(1) << 40, threads);
        EXPECT_EQ(day.damagedNames, one.damagedNames) << threads;
        EXPECT_EQ(day.intervals, one.intervals) << threads;
        EXPECT_EQ(day.present, one.present) << threads;
        EXPECT_EQ(day.capacity, one.capacity) << threads;
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(day.frames[c], one.frames[c]) << threads;
            EXPECT_EQ(day.lines[c], one.lines[c]) << threads;
            EXPECT_EQ(day.shadowed[c], one.shadowed[c]) << threads;
        }
    }
}

TEST(syncListFile, synchronisationsAreToldApart) {
    scopedTimeZone tz("Asia/Kathmandu");
    tempStation dir;
    // 2023-11-15 00:00:00 UTC is 1700006400.
    QString path = dir.write("v23319_1.sync.log", "         4  01700006400  1700006400.000 \n"
                                                  "         5  01700010007  1700010007.000 \n"
                                                  "         6  01700011234  1700011234.000 \n"
                                                  "garbage\n"
                                                  "         0  01700013600  1700013600.000 \n"
                                                  "         1  01700017207  1700017207.000 \n"
                                                  // the clock set back a minute
                                                  "         2  01700017160  1700017160.000 \n"
                                                  // a restart: 3 was used before
                                                  "         4  01700017500  1700017500.000 ");
    syncListReport r = readSyncList(path);
    ASSERT_TRUE(r.readable);
    EXPECT_EQ(r.otherLines, 1);
    const syncEventKind kinds[] = {SYNC_PLANNED, SYNC_PLANNED,    SYNC_UNPLANNED, SYNC_RESTART,
                                   SYNC_PLANNED, SYNC_CLOCK_STEP, SYNC_UNPLANNED};
    ASSERT_EQ(r.events.size(), 7u);
    for (size_t i = 0; i < r.events.size(); ++i)
        EXPECT_EQ(r.events[i].kind, kinds[i]) << i;
    EXPECT_EQ(r.events[0].localSecond, 1700006400 + 5 * 3600 + 45 * 60);
    EXPECT_EQ(syncListName(dayOfDate("2023-11-15")), "v23319_1.sync.log");
}

TEST_F(dayTest, pictureShowsGapsOccupancyAndSynchronisations) {
    writeDay();
    writeSyncList("        12  01700010007  1700010007.000 \n");
    dayFigures day = scan();
    ASSERT_EQ(day.syncList.events.size(), 1u);
    dayLayout l;
    raster p = drawDay(day, &l);
    ASSERT_FALSE(p.isNull());
    auto at = [&](int minute, int y) { return p.at(l.columnOf(minute), y); };
    EXPECT_EQ(at(MINUTE - 1, l.stateTop), DAY_NOT_RUNNING);
    // The minute of the first datafile: 10 intervals before the station ran, 2 present, 8
    // missing, stacked from the bottom.
    EXPECT_EQ(at(MINUTE, l.stateTop + l.stripHeight - 1), DAY_PRESENT);
    EXPECT_EQ(at(MINUTE, l.stateTop + l.stripHeight / 2 + 2), DAY_MISSING);
    EXPECT_EQ(at(MINUTE, l.stateTop), DAY_NOT_RUNNING);
    EXPECT_EQ(at(MINUTE - 1, l.occupancyTop[0] + 5), DAY_NO_DATA);
    // Pixels 100..109 of camera A in shadow; none of camera B there.
    int row = 104 / l.pixelsPerRow;
    EXPECT_EQ(at(MINUTE, l.occupancyTop[0] + row), heatColour(day.occupancy(0, MINUTE, 104)));
    EXPECT_GT(at(MINUTE, l.occupancyTop[0] + row), DAY_FIRST_HEAT);
    EXPECT_EQ(at(MINUTE, l.occupancyTop[1] + row), DAY_FIRST_HEAT);
    // The synchronisation at 06:45:07 local, an hour and 7 seconds after the sync list's one.
    EXPECT_EQ(at(6 * 60 + 45, l.syncTop + l.stripHeight - 1), DAY_PLANNED);
    EXPECT_LT(heatColour(0.001), heatColour(0.01));
    EXPECT_LT(heatColour(0.5), heatColour(1.0));
}

TEST_F(dayTest, commandWritesPictureCsvAndJson) {
    writeDay();
    QString png = dir.file("day.png");
    QString csv = dir.file("day.csv");
    run r({"--day", maker.directory(), "--date", "2023-11-15", "--image", png, "--csv", csv,
           "--json"});
    ASSERT_EQ(r.status, INSPECT_INTACT) << r.err.toStdString();
    QJsonObject j = r.json();
    EXPECT_EQ(j["date"].toString(), "2023-11-15");
    EXPECT_EQ(j["intervals_present"].toInt(), 4);
    EXPECT_EQ(j["gaps"].toArray().size(), 4);
    QJsonObject minute = j["minutes"].toArray()[MINUTE].toObject();
    EXPECT_EQ(minute["local_time"].toString(), "05:45");
    EXPECT_EQ(minute["frames_a"].toInt(), 4);
    EXPECT_EQ(minute["ratio_a_b"].toDouble(), 2.0);
    EXPECT_TRUE(j["minutes"].toArray()[0].toObject()["ratio_a_b"].isNull());
    EXPECT_EQ(j["pixel_occupancy_a"].toArray().size(), WINDOW);

    QStringList rows = QString::fromUtf8(dir.read("day.csv")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 1 + DAY_MINUTES);
    EXPECT_TRUE(rows[1 + MINUTE].startsWith(QString("%1,05:45,2,4,2,2,4000,200,").arg(MINUTE)))
        << rows[1 + MINUTE].toStdString();
    EXPECT_EQ(QString::fromUtf8(dir.read("day.pixels.csv")).count('\n'), 1 + WINDOW);
    raster picture;
    QString error;
    EXPECT_TRUE(readPng(png, &picture, &error)) << error.toStdString();

    EXPECT_EQ(run({"--day", maker.directory(), "--date", "15.11.2023"}).status, INSPECT_USAGE);
    EXPECT_EQ(run({"--day", dir.file("nowhere")}).status, INSPECT_DAMAGED);
    EXPECT_EQ(run({"--day", maker.directory(), "some file"}).status, INSPECT_USAGE);
}

// A short run (from 05:46) with an outage of camera B (05:50 .. 05:52: it sends files without
// frames while A sees rain), the station down for three minutes (05:55 .. 05:58), one interval
// missing after it, a dry minute in which only a dirty spot of camera A sends frames (05:59),
// and nothing after 06:00: the station's outage and the camera's are told apart minute by
// minute, in the figures, the picture of the window and the JSON.
TEST_F(dayTest, aStationOutageAndACameraOutageAreToldApart) {
    const std::vector<shadowLine> rain = wanderingLines(100);
    datafiles(intervalRange(10, 70), rain, rain);
    datafiles(intervalRange(70, 130), rain, {});
    datafiles(intervalRange(131, 170), rain, rain);
    datafiles(intervalRange(250, 270, 265), rain, rain);
    datafiles(intervalRange(270, 290), constantLines(100, {300, 4}), {});
    dayFigures day = scan();
    struct {
        int minute;
        int present, missing, notRunning;
        bool outA, outB;
    } table[] = {
        {MINUTE, 0, 0, 20, false, false},      // before the run
        {MINUTE + 2, 20, 0, 0, false, false},  // both cameras
        {MINUTE + 5, 20, 0, 0, false, true},   // camera B out: no datafile missing
        {MINUTE + 11, 0, 0, 20, false, false}, // the station down
        {MINUTE + 13, 19, 1, 0, false, false}, // one interval missing while it ran
        {MINUTE + 14, 20, 0, 0, false, false}, // only camera A's dirty spot: no rain
        {MINUTE + 16, 0, 0, 20, false, false}, // after the run
    };
    for (const auto& row : table) {
        const minuteIntervals in = day.minute(row.minute);
        EXPECT_EQ(in.present, row.present) << row.minute;
        EXPECT_EQ(in.missing, row.missing) << row.minute;
        EXPECT_EQ(in.notRunning, row.notRunning) << row.minute;
        EXPECT_EQ(day.cameraOut(0, row.minute), row.outA) << row.minute;
        EXPECT_EQ(day.cameraOut(1, row.minute), row.outB) << row.minute;
    }

    // Camera A's dirty spot sent frames in its minute, but on four pixels: no rain.
    EXPECT_GE(day.frames[0][MINUTE + 14], RAIN_FRAMES);
    EXPECT_FALSE(day.sawRain(0, MINUTE + 14));
    EXPECT_TRUE(day.sawRain(0, MINUTE + 5));

    dayLayout l;
    raster p = drawDay(day, &l, MINUTE, 20);
    ASSERT_FALSE(p.isNull());
    EXPECT_EQ(l.columnOf(MINUTE), l.plotLeft);
    EXPECT_EQ(l.columnsOf(MINUTE + 5), l.plotWidth / 20) << "a minute of the window";
    auto at = [&](int minute, int y) {
        return p.at(l.columnOf(minute) + l.columnsOf(minute) / 2, y);
    };
    EXPECT_EQ(at(MINUTE + 5, l.cameraTop[1] + 2), DAY_CAMERA_OUT);
    EXPECT_EQ(at(MINUTE + 5, l.cameraTop[0] + 2), DAY_CAMERA_A);
    EXPECT_EQ(at(MINUTE + 5, l.stateTop), DAY_PRESENT);
    EXPECT_EQ(at(MINUTE + 11, l.stateTop), DAY_NOT_RUNNING);
    EXPECT_EQ(at(MINUTE + 11, l.cameraTop[1] + 2), DAY_NO_DATA);
    EXPECT_EQ(at(MINUTE + 13, l.stateTop), DAY_MISSING);
    EXPECT_EQ(at(MINUTE + 13, l.stateTop + l.stripHeight - 1), DAY_PRESENT);

    run r({"--day", maker.directory(), "--date", "2023-11-15", "--from", "05:45", "--to", "06:05",
           "--image", dir.file("window.png"), "--json"});
    ASSERT_EQ(r.status, INSPECT_INTACT) << r.err.toStdString();
    const QJsonObject j = r.json();
    const QJsonArray minutes = j["minutes"].toArray();
    EXPECT_TRUE(minutes[MINUTE + 5].toObject()["camera_b_out"].toBool());
    EXPECT_EQ(minutes[MINUTE + 11].toObject()["intervals_not_running"].toInt(), 20);
    EXPECT_DOUBLE_EQ(minutes[MINUTE + 13].toObject()["share_present"].toDouble(), 0.95);
    QStringList kinds;
    for (const QJsonValue& g : j["gaps"].toArray())
        kinds << g.toObject()["kind"].toString();
    EXPECT_EQ(kinds, QStringList({"not_running", "not_running", "missing", "not_running"}));
    for (const QStringList& bad : {QStringList{"--from", "06:05", "--to", "05:45"},
                                   QStringList{"--from", "5.45"}, QStringList{"--to", "24:01"}})
        EXPECT_EQ(run(QStringList{"--day", maker.directory()} + bad).status, INSPECT_USAGE)
            << bad.join(' ').toStdString();
}
