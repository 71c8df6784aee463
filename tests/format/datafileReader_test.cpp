#include "format/datafileReader.h"
#include "support/datafileFixture.h"
#include "support/testSupport.h"
#include "sync/timeConv.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

const double SYNC_TIME = 1700006400.0 + 30.25; // a quarter second after 00:00:30 UTC

const uint8_t* bytesOf(const QByteArray& b) {
    return reinterpret_cast<const uint8_t*>(b.constData());
}

// Stores the byte sum of everything before the last four bytes into them, so that a change
// made on purpose is seen by the layout checks and not by the checksum first.
void resum(QByteArray* b) {
    uint32_t sum = 0;
    for (int i = 0; i < b->size() - 4; ++i)
        sum += uint8_t((*b)[i]);
    std::memcpy(b->data() + b->size() - 4, &sum, 4);
}

template <typename T> void put(QByteArray* b, int at, T value) {
    std::memcpy(b->data() + at, &value, sizeof value);
}

// One datafile with frames of both cameras, from the writer, in a zone of +05:45.
struct datafileReaderTest : ::testing::Test {
    datafileReaderTest() : tz("Asia/Kathmandu"), maker(dir, SYNC_TIME) {
        linesA = wanderingLines(300);
        linesB = wanderingLines(2000, 7); // more than one frame
        uint64_t start = maker.lineOfInterval(0) + 10;
        EXPECT_TRUE(maker.addLines(1, start, linesA));
        EXPECT_TRUE(maker.addLines(2, start + 5, linesB));
        EXPECT_TRUE(maker.addLines(1, maker.lineOfInterval(1), wanderingLines(3)));
        EXPECT_TRUE(maker.addLines(2, maker.lineOfInterval(1), wanderingLines(3)));
        names = maker.writeAll();
        EXPECT_EQ(names.size(), 1);
        file = dir.read("3sec/" + names.value(0));
    }

    bool read(const QByteArray& bytes) {
        return readDatafile(bytesOf(bytes), size_t(bytes.size()), &content, &problem);
    }

    scopedTimeZone tz;
    tempStation dir;
    datafileMaker maker;
    std::vector<shadowLine> linesA;
    std::vector<shadowLine> linesB;
    QStringList names;
    QByteArray file;
    datafileContent content;
    datafileProblem problem;
};

} // namespace

TEST_F(datafileReaderTest, readsBackWhatTheWriterWrote) {
    ASSERT_TRUE(read(file)) << describeProblem(problem);
    EXPECT_EQ(problem.offset, -1);
    EXPECT_TRUE(content.complete);
    EXPECT_TRUE(content.checksumMatches);

    const syncPoint& s = *maker.sync();
    const datafileSyncHeader& h = content.sync;
    EXPECT_EQ(h.headerLength, 56);
    EXPECT_EQ(h.softwareVersion, s.params().softwareVersion);
    EXPECT_EQ(h.suSerialNr, s.params().suSerialNr);
    EXPECT_EQ(h.lineFrequency, s.lineFrequency());
    EXPECT_EQ(h.windowCentre, s.params().windowCentre);
    EXPECT_EQ(h.windowLeft, s.params().left);
    EXPECT_EQ(h.windowRight, s.params().left + s.params().width);
    EXPECT_EQ(h.xscaleA, s.params().camA.xscale);
    EXPECT_EQ(h.distanceB, s.params().camB.distance);
    EXPECT_EQ(h.localSyncSecond, uint32_t(int64_t(SYNC_TIME) + 20700));

    // The interval of the name is the one the frames were placed in.
    EXPECT_EQ(datafileLocalSecond(names[0]), int64_t(1700006430) + 20700);

    // Pairing order: camera A's frame starts first, camera B's two frames follow.
    ASSERT_EQ(content.entries.size(), 3u);
    EXPECT_EQ(content.entries[0].cameraId, 1);
    EXPECT_EQ(content.entries[1].cameraId, 2);
    EXPECT_EQ(content.entries[2].cameraId, 2);
    EXPECT_EQ(content.entries[0].offset, 56);
    EXPECT_EQ(content.entries[0].numLines, 300);
    EXPECT_EQ(content.entries[1].numLines + content.entries[2].numLines, 2000);
    EXPECT_EQ(content.entries[1].linePosition, content.entries[0].linePosition + 5);
    EXPECT_EQ(content.entries[2].linePosition,
              content.entries[1].linePosition + content.entries[1].numLines);
    EXPECT_EQ(content.endA, content.entries[0].linePosition + 300);
    EXPECT_EQ(content.endB, content.entries[2].linePosition + content.entries[2].numLines);
    int32_t end = content.entries[2].dataOffset + content.entries[2].dataLength;
    EXPECT_EQ(end, file.size() - DATAFILE_TAIL_SIZE);
    for (double v : content.intervalRest)
        EXPECT_EQ(v, 0.0);
    EXPECT_EQ(content.rainData, std::vector<uint8_t>(600, 0));

    // The frame data decode into the lines that went in, in order.
    std::vector<shadowLine> gotA;
    std::vector<shadowLine> gotB;
    for (const datafileEntry& e : content.entries) {
        std::vector<shadowLine> lines;
        ASSERT_EQ(decodeDatafileEntry(bytesOf(file), size_t(file.size()), e, &lines), 0);
        (e.cameraId == 1 ? gotA : gotB)
            .insert((e.cameraId == 1 ? gotA : gotB).end(), lines.begin(), lines.end());
    }
    EXPECT_EQ(gotA, linesA);
    EXPECT_EQ(gotB, linesB);
}

TEST_F(datafileReaderTest, everyFlippedByteFailsTheChecksum) {
    for (int at = 0; at < file.size(); ++at) {
        for (uint8_t mask : {uint8_t(0x01), uint8_t(0xFF)}) {
            QByteArray damaged = file;
            damaged[at] = char(uint8_t(damaged[at]) ^ mask);
            ASSERT_FALSE(read(damaged)) << "byte " << at;
            ASSERT_FALSE(content.checksumMatches) << "byte " << at;
            ASSERT_GE(problem.offset, 0);
            ASSERT_LT(problem.offset, file.size());
        }
    }
}

TEST_F(datafileReaderTest, anyTruncationOrGarbageGivesAProblemNotACrash) {
    for (int size = 0; size < file.size(); ++size) {
        ASSERT_FALSE(read(file.left(size))) << size;
        ASSERT_GE(problem.offset, 0);
        ASSERT_LE(problem.offset, size);
        ASSERT_FALSE(describeProblem(problem).empty());
    }
    EXPECT_FALSE(readDatafile(nullptr, 100, &content, &problem));
    EXPECT_EQ(problem.offset, 0);

    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        // Random bytes behind a plausible start, to reach the entries and the tail.
        QByteArray b = file.left(int(random() % 120));
        int extra = int(random() % 1500);
        for (int i = 0; i < extra; ++i)
            b.append(char(random()));
        if (round % 2)
            resum(&b);
        if (read(b))
            continue; // a valid datafile by chance is fine too
        ASSERT_GE(problem.offset, 0);
        ASSERT_LE(problem.offset, b.size());
        for (const datafileEntry& e : content.entries) {
            std::vector<shadowLine> lines;
            decodeDatafileEntry(bytesOf(b), size_t(b.size()), e, &lines);
        }
    }
}

TEST_F(datafileReaderTest, namesTheFirstProblemWithItsOffset) {
    ASSERT_TRUE(read(file));
    const datafileEntry first = content.entries[0];
    const datafileEntry second = content.entries[1];
    const int tail = file.size() - DATAFILE_TAIL_SIZE;
    struct damage {
        const char* what;
        std::function<void(QByteArray*)> apply;
        int64_t offset;
        const char* field;
        const char* expected;
    };
    const damage cases[] = {
        {"header length", [](QByteArray* b) { put<uint16_t>(b, 0, 58); }, 0, "sync header length",
         "56"},
        {"line frequency", [](QByteArray* b) { put<double>(b, 6, -1.0); }, 6,
         "sync header line_frequency", "a positive number of Hz"},
        {"camera", [&](QByteArray* b) { put<uint16_t>(b, second.offset, 3); }, second.offset,
         "frame entry 1 camera", "1 or 2"},
        {"length beyond the entries",
         [&](QByteArray* b) { put<uint16_t>(b, second.offset + 2, 60000); }, second.offset + 2,
         "frame entry 1 length", "at most"},
        {"length too short", [&](QByteArray* b) { put<uint16_t>(b, first.offset + 2, 9); },
         first.offset + 2, "frame entry 0 length", "at least 15"},
        {"lines", [&](QByteArray* b) { put<uint16_t>(b, first.offset + 4, 1537); },
         first.offset + 4, "frame entry 0 lines", "at most 1536"},
        {"header word size",
         [&](QByteArray* b) { (*b)[first.dataOffset] = char(uint8_t((*b)[first.dataOffset]) ^ 1); },
         first.dataOffset, "frame entry 0 header word", "compressed size"},
        {"header word widths", [&](QByteArray* b) { (*b)[first.dataOffset + 3] = char(0x11); },
         first.dataOffset, "frame entry 0 header word", "code widths"},
        {"line position", [&](QByteArray* b) { put<double>(b, first.dataOffset + 4, 10.5); },
         first.dataOffset + 4, "frame entry 0 line position", "a whole number"},
        {"end position", [&](QByteArray* b) { put<double>(b, tail + 8, -3.0); }, tail + 8,
         "interval block end B", "a whole number"},
        {"a byte too many", [&](QByteArray* b) { b->insert(tail, '\0'); }, tail, "frame entry 3",
         "6 header bytes"},
        {"too short for a datafile", [](QByteArray* b) { b->truncate(800); }, 800, "datafile size",
         "at least 828"},
    };
    for (const damage& d : cases) {
        QByteArray b = file;
        d.apply(&b);
        if (b.size() >= 4)
            resum(&b);
        EXPECT_FALSE(read(b)) << d.what;
        EXPECT_EQ(problem.offset, d.offset) << d.what << ": " << describeProblem(problem);
        EXPECT_EQ(problem.field, d.field) << d.what;
        EXPECT_NE(problem.expected.find(d.expected), std::string::npos)
            << d.what << ": " << problem.expected;
    }

    QByteArray b = file;
    put<uint32_t>(&b, b.size() - 4, content.storedChecksum + 1);
    EXPECT_FALSE(read(b));
    EXPECT_TRUE(content.complete) << "the layout holds, only the checksum differs";
    EXPECT_EQ(problem.offset, b.size() - 4);
    EXPECT_EQ(problem.field, "checksum");

    // The size is judged before a byte is read: no gigabyte is needed to try it.
    const uint8_t none[1] = {0};
    EXPECT_FALSE(readDatafile(none, size_t(DATAFILE_MAX_SIZE) + 1, &content, &problem));
    EXPECT_EQ(problem.field, "datafile size");
}

TEST_F(datafileReaderTest, entriesOutsideTheBytesDoNotDecode) {
    ASSERT_TRUE(read(file));
    std::vector<shadowLine> lines;
    datafileEntry e = content.entries[0];
    e.dataLength = file.size();
    EXPECT_EQ(decodeDatafileEntry(bytesOf(file), size_t(file.size()), e, &lines), -1);
    e = content.entries[0];
    e.dataOffset = -4;
    EXPECT_EQ(decodeDatafileEntry(bytesOf(file), size_t(file.size()), e, &lines), -1);
    e = content.entries[0];
    e.numLines = uint16_t(e.numLines - 1);
    EXPECT_EQ(decodeDatafileEntry(bytesOf(file), size_t(file.size()), e, &lines), -1);
    EXPECT_TRUE(lines.empty());
}

TEST(datafileName, localSecondOfADatafileName) {
    EXPECT_EQ(datafileLocalSecond("01700006.430"), 1700006430);
    EXPECT_EQ(datafileLocalSecond("00000000.007"), 7);
    EXPECT_EQ(datafileLocalSecond(datafileWriter::datafileName(1700006430)), 1700006430);
    for (const char* name : {"01700006.430.part", "1700006.430", "01700006-430", "0170000a.430",
                             "01700006.43 ", "", "video.dat"})
        EXPECT_EQ(datafileLocalSecond(name), -1) << name;
}
