#include "config/settingsFile.h"
#include "format/datafileReader.h"
#include "output/datafileWriter.h"
#include "support/datafileFixture.h"
#include "support/stationFolder.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"

#include <QFile>

#include <cstring>
#include <gtest/gtest.h>

namespace {

const double DAY = 1700006400.0; // a UTC midnight

struct writerTest : ::testing::Test {
    writerTest() : tz("UTC") {
        writer = std::make_unique<datafileWriter>(
            QFile::encodeName(makeStationFolder(dir.path())).constData());
    }

    // A record of camera `camera` in the interval starting at `interval` with `bytes` bytes.
    frameRecord record(uint32_t camera, int32_t interval, QByteArray bytes, uint32_t lines = 2,
                       double position = 100.0) {
        frameRecord r;
        r.isValid = true;
        r.sync = sync;
        r.cameraId = camera;
        r.intervalStart = interval;
        r.intervalEnd = interval + 3;
        r.linePosition = position;
        r.header.numLines = lines;
        r.data = makePooledCmprBuffer(bytes.size() + 8);
        cmprCopy(r.data.data(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                 int32_t(bytes.size()));
        return r;
    }
    frameRecord emptyRecord(uint32_t camera, int32_t interval, double position) {
        frameRecord r;
        r.isValid = r.isEmpty = true;
        r.sync = sync;
        r.cameraId = camera;
        r.intervalStart = interval;
        r.intervalEnd = interval + 3;
        r.linePosition = position;
        r.header.numLines = 1;
        return r;
    }
    QByteArray datafile(int32_t interval) {
        return dir.read("3sec/" + datafileWriter::datafileName(interval));
    }

    scopedTimeZone tz;
    tempStation dir;
    std::unique_ptr<datafileWriter> writer;
    syncPointPtr sync = makeSyncPoint(DAY + 30.0);
    int32_t g = int32_t(DAY) + 30;
    messageCapture log;
};

double doubleAt(const QByteArray& b, int at) {
    double v;
    std::memcpy(&v, b.constData() + at, 8);
    return v;
}
uint32_t u32At(const QByteArray& b, int at) {
    uint32_t v;
    std::memcpy(&v, b.constData() + at, 4);
    return v;
}
uint32_t byteSum(const QByteArray& b, int count) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum += uint8_t(b[i]);
    return sum;
}

} // namespace

TEST_F(writerTest, datafileLayoutByteForByte) {
    writer->paired().push_back(record(1, g, "AAAAAAAAAAAA", 7, 1000.0));
    writer->paired().push_back(record(2, g, "BBBBBBBBBBBBBB", 70000 + 3, 1001.0));
    writer->paired().push_back(emptyRecord(2, g, 2000.0));
    writer->paired().push_back(record(1, g + 3, "later", 1));
    ASSERT_TRUE(writer->writeNextDatafile());
    EXPECT_FALSE(writer->writeNextDatafile()) << "the last interval is not complete yet";
    EXPECT_EQ(writer->paired().size(), 1u);

    QByteArray f = datafile(g);
    ASSERT_EQ(f.size(), 56 + (6 + 12) + (6 + 14) + 160 + 600 + 8 + 4);
    EXPECT_EQ(f.left(56), QByteArray((const char*)sync->headerBytes(), 56));
    const char entryA[] = {1, 0, 14, 0, 7, 0};
    EXPECT_EQ(f.mid(56, 6), QByteArray(entryA, 6));
    EXPECT_EQ(f.mid(62, 12), "AAAAAAAAAAAA");
    const char entryB[] = {2, 0, 16, 0, 0x73, 0x11}; // lines: low 16 bits of 70003
    EXPECT_EQ(f.mid(74, 6), QByteArray(entryB, 6));
    int block = 56 + 18 + 20;
    EXPECT_EQ(doubleAt(f, block), 1007.0);
    EXPECT_EQ(doubleAt(f, block + 8), 2000.0) << "an empty record ends at its position";
    EXPECT_EQ(f.mid(block + 16, 144 + 600 + 8), QByteArray(144 + 600 + 8, '\0'));
    EXPECT_EQ(u32At(f, f.size() - 4), byteSum(f, f.size() - 4));
    EXPECT_EQ(writer->lastDatafile(), dir.file("3sec/" + datafileWriter::datafileName(g)));
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(writerTest, emptyRecordsOnlyAndAMissingCamera) {
    writer->paired().push_back(emptyRecord(2, g, 55.0));
    writer->paired().push_back(emptyRecord(2, g + 3, 56.0));
    ASSERT_TRUE(writer->writeNextDatafile());
    QByteArray f = datafile(g);
    EXPECT_EQ(f.size(), 828);
    EXPECT_EQ(doubleAt(f, 56), 0.0) << "camera A had no record";
    EXPECT_EQ(doubleAt(f, 64), 55.0);
}

TEST_F(writerTest, oneIntervalAloneIsNeverWritten) {
    for (int i = 0; i < 100; ++i)
        writer->paired().push_back(record(1 + i % 2, g, "x"));
    EXPECT_FALSE(writer->writeNextDatafile());
    EXPECT_EQ(writer->paired().size(), 100u);
    EXPECT_TRUE(dir.list("3sec").isEmpty());
}

TEST_F(writerTest, namesComeFromTheLocalSecondCount) {
    EXPECT_EQ(datafileWriter::datafileName(7), "00000000.007");
    EXPECT_EQ(datafileWriter::datafileName(999), "00000000.999");
    EXPECT_EQ(datafileWriter::datafileName(1700006430), "01700006.430");
    scopedTimeZone kathmandu("Asia/Kathmandu");
    EXPECT_EQ(datafileWriter::datafileName(1700006430), "01700027.130"); // + 20700
}

// The same local second twice (the end of summer time, a clock stepped back, a restart inside
// an interval written before), or a temporary name taken: the file there stays, and each later
// pass of the interval is kept in "repeated/" under the usual name and its pass number.
TEST_F(writerTest, existingFilesAreNeverReplacedAndRepeatedIntervalsAreKept) {
    const QString name = datafileWriter::datafileName(g);
    dir.write("3sec/" + name, "old");
    dir.mkdir("3sec/repeated");
    dir.write("3sec/repeated/" + name + ".2", "second pass");
    for (int i = 0; i < 4; ++i)
        writer->paired().push_back(record(1, g + 3 * i, "x"));
    EXPECT_TRUE(writer->writeNextDatafile());
    EXPECT_EQ(dir.read("3sec/" + name), "old");
    EXPECT_EQ(dir.read("3sec/repeated/" + name + ".2"), "second pass");
    EXPECT_EQ(writer->lastDatafile(), dir.file("3sec/repeated/") + name + ".3");
    EXPECT_EQ(dir.list("3sec/repeated"), QStringList({name + ".2", name + ".3"}));
    EXPECT_EQ(log.messages(),
              QStringList({"warning : datafile " + dir.file("3sec/") + name +
                           " exists already -> kept as " + writer->lastDatafile()}));
    // A ".part" of unknown origin under the next interval's name is left alone, and the
    // interval goes aside as well.
    log.clear();
    const QString next = datafileWriter::datafileName(g + 3);
    dir.write("3sec/" + next + ".part", "partial");
    EXPECT_TRUE(writer->writeNextDatafile());
    EXPECT_EQ(dir.read("3sec/" + next + ".part"), "partial");
    EXPECT_EQ(writer->lastDatafile(), dir.file("3sec/repeated/") + next + ".2");
    EXPECT_EQ(log.messages(),
              QStringList({"warning : temporary datafile " + dir.file("3sec/") + next +
                           " exists already -> kept as " + writer->lastDatafile()}));
    EXPECT_EQ(writer->paired().size(), 2u);
}

// A power cut between a datafile's sync and the sync of its rename leaves it whole under its
// ".part" name, holding frames that are nowhere else: the next run completes it.
TEST_F(writerTest, aWholeDatafileLeftUnfinishedGetsItsNameAtTheNextStart) {
    tempStation made;
    datafileMaker maker(made, DAY + 30.0);
    for (int camera : {1, 2}) {
        ASSERT_TRUE(maker.addLines(camera, maker.lineOfInterval(0), wanderingLines(20)));
        ASSERT_TRUE(maker.addLines(camera, maker.lineOfInterval(1), wanderingLines(1)));
    }
    const QStringList written = maker.writeAll();
    ASSERT_FALSE(written.isEmpty());
    const QString name = written.first();
    const QByteArray whole = made.read("3sec/" + name);
    // The name of an interval three hours after the file's own: its ".part" is another time's.
    const QString later =
        datafileWriter::datafileName(int32_t(datafileLocalSecond(name)) + 10800) + ".part";
    const struct {
        const char* finalContent; // under the final name beside the ".part"; null: none
        int torn;                 // bytes cut off the ".part"; -1: grown beyond any interval
        bool planted;             // the whole file under the ".part" name of another interval
        const char* kept;         // where the whole file is afterwards, relative to 3sec/
        bool partStays;
        bool setAside;
        int warnings;
    } cases[] = {
        {nullptr, 0, false, "", false, false, 1}, // the rename was lost
        {"same", 0, false, "", false, false, 0},  // a link made, the old name kept
        {"other datafile", 0, false, "repeated/", false, false, 1}, // its name taken since
        {nullptr, 7, false, nullptr, true, false, 1},               // torn: left to look at
        {nullptr, 0, true, nullptr, false, true, 1},   // another time's: set aside, unread
        {nullptr, -1, false, nullptr, false, true, 1}, // larger than an interval: set aside
    };
    for (const auto& c : cases) {
        QDir(dir.file("3sec")).removeRecursively();
        dir.mkdir("3sec");
        const QString part = "3sec/" + (c.planted ? later : name + ".part");
        dir.write(part, whole.left(whole.size() - std::max(c.torn, 0)));
        if (c.torn < 0)
            QFile(dir.file(part)).resize(qint64(DATAFILE_PLAUSIBLE_SIZE) + 1);
        if (c.finalContent)
            dir.write("3sec/" + name,
                      QByteArray(c.finalContent) == "same" ? whole : QByteArray(c.finalContent));
        log.clear();
        EXPECT_EQ(writer->completeUnfinished(), c.kept && c.warnings ? 1 : 0) << c.torn;
        EXPECT_EQ(dir.exists(part), c.partStays) << c.torn;
        EXPECT_EQ(dir.exists(part + ".set-aside"), c.setAside) << c.torn;
        if (c.kept) {
            EXPECT_EQ(dir.read(QString("3sec/") + c.kept + name + (*c.kept ? ".2" : "")), whole);
        }
        EXPECT_EQ(log.messages().size(), c.warnings) << log.messages().join("\n").toStdString();
    }
}

TEST_F(writerTest, failedWritesLeaveNoFinalFileAndSayWhatWasLost) {
    for (int i = 0; i < 4; ++i)
        writer->paired().push_back(record(1, g + 3 * i, "x"));
    QString name0 = datafileWriter::datafileName(g);
    {
        scopedFileFaults full([](fileOp op, const QString&) { return op == fileOp::WRITE; });
        EXPECT_FALSE(writer->writeNextDatafile());
    }
    EXPECT_TRUE(dir.list("3sec").isEmpty());
    EXPECT_EQ(log.messages().last(),
              " : error : unable to write temp datafile " + dir.file("3sec/") + name0 + ".part");
    {
        scopedFileFaults locked([](fileOp op, const QString&) { return op == fileOp::OPEN; });
        EXPECT_FALSE(writer->writeNextDatafile());
    }
    EXPECT_TRUE(log.messages().last().startsWith(" : error : unable to open temp datafile "));
    {
        // The rename finds a final file that appeared after the check.
        scopedFileFaults raced([](fileOp op, const QString&) { return op == fileOp::RENAME; });
        EXPECT_FALSE(writer->writeNextDatafile());
    }
    QString name2 = datafileWriter::datafileName(g + 6);
    EXPECT_EQ(log.messages().last(),
              " : error : unable to rename datafile " + dir.file("3sec/") + name2);
    EXPECT_EQ(dir.list("3sec"), QStringList{name2 + ".part"});
}

// A staged datafile stays under its ".part" name until it is completed; then each gets its
// final name in the order staged, and one whose sync fails is lost, said and gone.
TEST_F(writerTest, stagedDatafilesAreNamedInOrderWhenCompleted) {
    for (int i = 0; i < 4; ++i)
        writer->paired().push_back(record(1, g + 3 * i, "x"));
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(writer->stageDatafile(), datafileOutcome::written);
        names << datafileWriter::datafileName(g + 3 * i);
    }
    EXPECT_EQ(dir.list("3sec"),
              QStringList({names[0] + ".part", names[1] + ".part", names[2] + ".part"}));
    EXPECT_TRUE(writer->lastDatafile().isEmpty());

    const QString failing = dir.file("3sec/") + names[1] + ".part";
    scopedFileFaults faults([&failing](fileOp op, const QString& path) {
        return op == fileOp::SYNC && path == failing;
    });
    QStringList told;
    EXPECT_EQ(writer->completeStaged([&](datafileOutcome outcome) {
        told << (outcome == datafileOutcome::written ? writer->lastDatafile() : "lost");
    }),
              2);
    EXPECT_EQ(told,
              QStringList({dir.file("3sec/") + names[0], "lost", dir.file("3sec/") + names[2]}));
    EXPECT_EQ(dir.list("3sec"), QStringList({names[0], names[2]}));
    EXPECT_EQ(log.messages(), QStringList({" : error : unable to write temp datafile " + failing}));
    EXPECT_EQ(writer->stagedCount(), 0u);
}

// After a step back of the clock the same interval name comes again while the first datafile
// of that name is still being completed: the second goes to repeated/, as for a name taken.
TEST_F(writerTest, aNameStillBeingCompletedIsTakenAlready) {
    syncPointPtr stepped = makeSyncPoint(DAY + 30.0);
    stepped->setClockEpoch(1);
    for (const syncPointPtr& clock : {sync, stepped})
        for (int i = 0; i < 2; ++i) {
            writer->paired().push_back(record(1, g + 3 * i, "x"));
            writer->paired().back().sync = clock;
        }
    ASSERT_EQ(writer->stageDatafile(), datafileOutcome::written);
    writer->startCompletion();
    ASSERT_EQ(writer->stageDatafile(), datafileOutcome::written);
    ASSERT_EQ(writer->stageDatafile(), datafileOutcome::written);
    EXPECT_EQ(writer->completeStaged(nullptr), 3);

    const QString name = datafileWriter::datafileName(g);
    EXPECT_EQ(dir.list("3sec"), QStringList({name, datafileWriter::datafileName(g + 3),
                                             QString(REPEATED_DATAFILE_DIR)}));
    EXPECT_EQ(writer->lastDatafile(), dir.file("3sec/repeated/") + name + ".2");
    EXPECT_EQ(log.messages(),
              QStringList({"warning : datafile " + dir.file("3sec/") + name +
                           " exists already -> kept as " + writer->lastDatafile()}));
}

// Heavy rain in both cameras: one interval of more frames than the output buffer holds is
// written whole, camera B's frames with camera A's, and reads back as any other datafile.
TEST_F(writerTest, anIntervalBeyondTheOutputBufferIsWrittenWhole) {
    QByteArray big(16000, 'q');
    for (int i = 0; i < 300; ++i) // 4.8 MB in one interval
        writer->paired().push_back(record(i % 2 == 0 ? 1 : 2, g, big));
    writer->paired().push_back(record(1, g + 3, "next"));
    writer->paired().push_back(record(1, g + 6, "after"));
    ASSERT_TRUE(writer->writeNextDatafile()) << log.messages().join("\n").toStdString();
    EXPECT_TRUE(log.messages().isEmpty());
    const QByteArray bytes = datafile(g);
    EXPECT_GT(bytes.size(), DATAFILE_BUFFER_SIZE);
    // The records hold no real frames, so only the checksum over the whole file is read back.
    datafileContent content;
    datafileProblem problem;
    readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                 &content, &problem);
    EXPECT_TRUE(content.checksumMatches);
    EXPECT_EQ(bytes.count(big), 300);
    EXPECT_EQ(writer->framesWritten(cam::A), 150u);
    EXPECT_EQ(writer->framesWritten(cam::B), 150u);
    EXPECT_TRUE(writer->writeNextDatafile()) << "the next interval is written as usual";
}

TEST(settingsFile, threeSecDirAndItsRejection) {
    tempStation dir;
    QString out = dir.mkdir("out");
    dir.write("a.set", "cam_a_input_dir /nowhere\n3sec_dir " + out.toLocal8Bit() + "\n");
    QString target = "default";
    {
        stderrCapture err;
        EXPECT_TRUE(
            pProcessSettingsFile(QFile::encodeName(dir.file("a.set")).constData(), &target));
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(target, out);
    QString windows = out;
    windows.replace('/', '\\');
    dir.write("b.set", "3sec_dir /no/such/dir\n3sec_dir " + windows.toLocal8Bit() + "\\\n");
    target = "default";
    stderrCapture err;
    EXPECT_TRUE(pProcessSettingsFile(QFile::encodeName(dir.file("b.set")).constData(), &target));
    EXPECT_EQ(err.text(), "pProcessSettingsFile : error : invalid combination 3sec_dir : "
                          "/no/such/dir -> ignoring \n");
    EXPECT_EQ(target, out) << "backslashes are separators";
    EXPECT_FALSE(
        pProcessSettingsFile(QFile::encodeName(dir.file("none.set")).constData(), &target));
}

TEST(settingsFile, rebootRequestSeenAndCleared) {
    tempStation dir;
    simulatedClock clock(1000.0);
    scopedStationClock guard(&clock);
    EXPECT_FALSE(rebootRequestPresent(dir.file("missing")));
    EXPECT_FALSE(rebootRequestPresent(dir.path()));
    EXPECT_FALSE(clearRebootRequest(dir.path()));
    dir.write("REBOOT", "");
    EXPECT_TRUE(rebootRequestPresent(dir.path()));
    {
        scopedFileFaults stuck([](fileOp op, const QString&) { return op == fileOp::REMOVE; });
        EXPECT_FALSE(clearRebootRequest(dir.path()));
    }
    EXPECT_EQ(clock.sleptMs(), 100 * 100);
    EXPECT_TRUE(clearRebootRequest(dir.path()));
    EXPECT_FALSE(rebootRequestPresent(dir.path()));
}
