#include "format/rleCodec.h"
#include "input/frameExtract.h"
#include "input/transferFile.h"
#include "output/pairing.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "support/transferFiles.h"
#include "sync/timeConv.h"

#include <QDir>

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const double DAY = 1700006400.0; // a UTC midnight

// A frame of `lines` lines with a drop in the middle of the window.
frameBytes makeFrame(uint16_t syncId, uint64_t lineCounter, int lines) {
    std::vector<shadowLine> content;
    for (int i = 0; i < lines; ++i)
        content.push_back(shadowLine{{uint16_t(100 + i % 7), uint16_t(3 + i % 5)}});
    frameBytes frame;
    EXPECT_EQ(encodeRleFrame(content, syncId, lineCounter, &frame), 0);
    return frame;
}

int openDescriptors() {
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

struct readerTest : ::testing::Test {
    readerTest() : tz("UTC"), clock(DAY + 1000.0), guard(&clock), queueA(1), queueB(2) {
        EXPECT_TRUE(syncs.setDirectory(dir.path()));
        EXPECT_TRUE(syncs.addSync(stationParams()));
        sync = syncs.currentSyncId();
    }
    QString file(const QString& name, const QByteArray& bytes) { return dir.write(name, bytes); }
    QByteArray transfer(int camera, const std::vector<frameBytes>& frames, uint64_t end = 5000) {
        return transferFile(camera, sync, 0, frames, end);
    }

    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    tempStation dir;
    syncList syncs;
    uint16_t sync = 0;
    cameraQueue queueA;
    cameraQueue queueB;
    messageCapture log;
};

} // namespace

TEST_F(readerTest, fileWithoutFramesPlacesItsTrailerAsEmptyFrame) {
    QByteArray bytes = transfer(1, {}, 1234);
    ASSERT_EQ(bytes.size(), 66);
    EXPECT_TRUE(readTransferFile(queueA, file("e.a.cam", bytes), syncs));
    ASSERT_EQ(queueA.size(), 1u);
    EXPECT_TRUE(queueA.front().isEmpty);
    EXPECT_EQ(queueA.front().header.lineCounter, 1233u);
    // The same file naming an unknown syncId: nothing appended.
    QByteArray unknown = buildTransferFile(cameraRecord(1), sync, 0, {}, uint16_t(sync + 9), 99);
    cameraQueue other(1);
    EXPECT_FALSE(readTransferFile(other, file("u.a.cam", unknown), syncs));
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(readerTest, framesKeepTheirBytesAndGetTheirTime) {
    frameBytes f1 = makeFrame(sync, 0, 3);
    frameBytes f2 = makeFrame(sync, 3, 5);
    EXPECT_TRUE(readTransferFile(queueA, file("x.a.cam", transfer(1, {f1, f2})), syncs));
    ASSERT_EQ(queueA.size(), 2u);
    const frameRecord& r = queueA.frames()[1];
    EXPECT_EQ(r.cameraId, 1u);
    EXPECT_EQ(r.header.numLines, 5u);
    EXPECT_EQ(r.header.lineCounter, 3u);
    EXPECT_DOUBLE_EQ(r.linePosition, 1000.0 * 55172.0 + 3.0);
    EXPECT_EQ(r.intervalStart, int32_t(DAY) + 999);
    // Record bytes: header word, f64 line position, payload: 12 bytes shorter than the frame.
    ASSERT_EQ(r.data->m_writeSize, int32_t(f2.size()) - 4);
    EXPECT_EQ(std::memcmp(r.data->m_data, f2.data(), 4), 0);
    double position;
    std::memcpy(&position, r.data->m_data + 4, 8);
    EXPECT_EQ(position, r.linePosition);
    EXPECT_EQ(std::memcmp(r.data->m_data + 12, f2.data() + 16, f2.size() - 16), 0);
    EXPECT_TRUE(log.messages().isEmpty());
}

// A camera's line counter only grows within one synchronisation: a file that repeats lines
// already read is refused whole, whether those lines are still queued, already paired or
// already written, so that a file delivered again never reaches a datafile twice.
TEST_F(readerTest, aFileRepeatingLinesAlreadyReadIsRefusedWhole) {
    enum { queued, paired, written };
    for (int stage : {queued, paired, written}) {
        cameraQueue a(1);
        cameraQueue b(2);
        const QByteArray first = transfer(1, {makeFrame(sync, 0, 10), makeFrame(sync, 10, 2)}, 20);
        const QByteArray second = transfer(1, {makeFrame(sync, 20, 5)}, 30);
        ASSERT_TRUE(readTransferFile(a, file("1.a.cam", first), syncs));
        ASSERT_TRUE(readTransferFile(a, file("2.a.cam", second), syncs));
        ASSERT_TRUE(
            readTransferFile(b, file("1.b.cam", transfer(2, {makeFrame(sync, 100, 2)})), syncs));
        pairedQueue out;
        if (stage != queued) {
            ASSERT_TRUE(pairFrames(out, a, b));
        }
        if (stage == written)
            out.clear();
        const size_t queuedBefore = a.size();
        const struct {
            const char* what;
            QByteArray bytes;
        } refused[] = {
            {"the first file again", first},
            {"the second file again", second},
            {"a file starting inside the last frame", transfer(1, {makeFrame(sync, 24, 3)}, 40)},
            {"a file whose second frame repeats its first",
             transfer(1, {makeFrame(sync, 30, 4), makeFrame(sync, 32, 4)}, 40)},
            {"a file without frames placed among the lines read", transfer(1, {}, 12)},
        };
        for (const auto& r : refused) {
            EXPECT_FALSE(readTransferFile(a, file("9.a.cam", r.bytes), syncs)) << r.what;
            EXPECT_EQ(a.size(), queuedBefore) << r.what << ": none of its frames is queued";
        }
        EXPECT_TRUE(
            readTransferFile(a, file("3.a.cam", transfer(1, {makeFrame(sync, 30, 4)}, 40)), syncs))
            << "the lines after those read";
        EXPECT_EQ(a.size(), queuedBefore + 1);
    }
}

// The first line counter from `from` on whose line position, rounded on its own, falls short
// of the position of the line `lines` before it plus `lines`: with a sync on a whole second
// every position is a whole number, and some come out just below it.
uint64_t roundedShort(const syncPoint* point, uint64_t from, int lines) {
    for (uint64_t l = from; l < from + 50000000; ++l)
        if (linePosition(point, double(l)) < linePosition(point, double(l - lines)) + lines)
            return l;
    return 0;
}

TEST_F(readerTest, framesRightBehindEachOtherStayQueuedWhateverTheRounding) {
    const syncPoint* point = syncs.find(sync).data();
    const int lines = 4;
    uint64_t second = roundedShort(point, lines, lines);
    ASSERT_GT(second, 0u) << "no rounding to test with";
    QByteArray bytes = transfer(
        1, {makeFrame(sync, second - lines, lines), makeFrame(sync, second, lines)}, second + 4);
    EXPECT_TRUE(readTransferFile(queueA, file("1.a.cam", bytes), syncs));
    EXPECT_EQ(queueA.size(), 2u);

    // Empty frames (a trailer's counter places the line before it) in the same way; a real
    // overlap is still refused.
    uint64_t line = roundedShort(point, second + 100, 1);
    ASSERT_GT(line, 0u);
    EXPECT_TRUE(appendEmptyFrame(queueA, line, sync, syncs));
    EXPECT_TRUE(appendEmptyFrame(queueA, line + 1, sync, syncs));
    EXPECT_TRUE(log.messages().isEmpty());
    EXPECT_FALSE(appendEmptyFrame(queueA, line + 1, sync, syncs));
    EXPECT_EQ(queueA.size(), 4u);
}

// A frame of the next day follows whatever its line position, counted from another midnight;
// so does the place a file without frames marks (a dry first second after midnight).
TEST_F(readerTest, aFrameOrAnEmptyFileOfTheNextDayIsAMidnightJump) {
    clock.set(DAY + 86400 + 5.0);
    ASSERT_TRUE(syncs.addSync(stationParams()));
    const uint16_t next = syncs.currentSyncId();
    const struct {
        QByteArray file;
        QStringList messages;
    } cases[] = {
        {transferFile(1, next, 0, {makeFrame(next, 0, 2)}, 2), {"info : midnight jump in data"}},
        {transferFile(1, next, 0, {}, 2), {}},
    };
    for (const auto& c : cases) {
        cameraQueue queue(1);
        EXPECT_TRUE(
            readTransferFile(queue, file("1.a.cam", transfer(1, {makeFrame(sync, 0, 2)})), syncs));
        log.clear();
        EXPECT_TRUE(readTransferFile(queue, file("2.a.cam", c.file), syncs));
        EXPECT_EQ(queue.size(), 2u);
        EXPECT_EQ(log.messages(), c.messages);
    }
}

TEST_F(readerTest, aMisplacedFileOfTheOtherCameraDoesNotTurnTheQueue) {
    QString bFile = file("x.b.cam", transfer(2, {makeFrame(sync, 0, 2)}));
    EXPECT_FALSE(readTransferFile(queueA, bFile, syncs));
    EXPECT_EQ(log.messages(),
              QStringList({"error : invalid transfer file header structure for file ",
                           "error : tranfer file not readable " + bFile}));
    // The next good file of camera A is read, and pairing goes on.
    EXPECT_TRUE(
        readTransferFile(queueA, file("y.a.cam", transfer(1, {makeFrame(sync, 0, 2)})), syncs));
    EXPECT_TRUE(
        readTransferFile(queueB, file("z.b.cam", transfer(2, {makeFrame(sync, 1, 2)})), syncs));
    pairedQueue paired;
    EXPECT_TRUE(pairFrames(paired, queueA, queueB));
    // A queue built for neither camera takes any file.
    cameraQueue either(0);
    EXPECT_TRUE(readTransferFile(either, bFile, syncs));
    EXPECT_EQ(either.role(), 2u);
}

TEST_F(readerTest, headerFieldsFillTheQueuesParameterRecord) {
    cameraParams p = cameraRecord(2);
    p.camB.gain = 3;
    p.camB.xscale = 0.25f;
    p.camB.distance = 700.0f;
    p.lineFrequency = 50000.0;
    uint64_t end = 0;
    for (int offset : {0, -127, 128}) {
        p.camB.offset = offset;
        QByteArray bytes = buildTransferFile(p, sync, 0, {}, sync, end += 10);
        EXPECT_EQ(uint8_t(bytes[19]), uint8_t(offset + 127));
        EXPECT_TRUE(readTransferFile(queueB, file("o.b.cam", bytes), syncs));
        EXPECT_EQ(queueB.params().current.offset, offset);
    }
    EXPECT_EQ(queueB.params().current.gain, 3u);
    EXPECT_EQ(queueB.params().camB.xscale, 0.25f);
    EXPECT_EQ(queueB.params().camB.distance, 700.0f);
    EXPECT_EQ(queueB.params().camA.xscale, 0.16f) << "the other camera's block keeps its default";
    EXPECT_EQ(queueB.params().lineFrequency, 50000.0);
}

TEST_F(readerTest, bufferGrowsToAPowerOfTwoAboveTheReadSize) {
    for (auto c :
         {std::make_pair(1000, 1024), std::make_pair(1022, 1024), std::make_pair(1023, 2048)}) {
        queueA.readBuffer() = makeCmprBuffer(64);
        QByteArray bytes = transferHeader(cameraRecord(1), sync, 0, uint32_t(c.first - 10));
        bytes += QByteArray(c.first, '\0');
        readTransferFile(queueA, file("g.a.cam", bytes), syncs);
        EXPECT_EQ(queueA.readBuffer()->m_capacity, c.second) << c.first;
    }
}

TEST_F(readerTest, bodyLongerThanTheFileIsRefusedWithoutAllocating) {
    QByteArray bytes =
        transferHeader(cameraRecord(1), sync, 0, 0xFFFFFFF0u) + QByteArray(100, '\0');
    cmprBuffer* before = queueA.readBuffer().data();
    EXPECT_FALSE(readTransferFile(queueA, file("big.a.cam", bytes), syncs));
    EXPECT_EQ(queueA.readBuffer().data(), before);
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(readerTest, failuresGiveTheirMessages) {
    QString path = file("bad.a.cam", "*\x01short");
    EXPECT_FALSE(readTransferFile(queueA, path, syncs));
    EXPECT_EQ(log.messages(), QStringList({"error : unable to read transfer file header from file ",
                                           "error : tranfer file not readable " + path}));
    log.clear();
    QByteArray marker = transfer(1, {});
    marker[0] = '#';
    EXPECT_FALSE(readTransferFile(queueA, path = file("m.a.cam", marker), syncs));
    EXPECT_EQ(log.messages().first(), "error : invalid transfer file header structure for file ");

    log.clear();
    frameBytes tooBig = makeFrame(sync, 0, 4);
    tooBig[0] = uint8_t(tooBig[0] + 1); // compressedSize one larger than the frame
    EXPECT_FALSE(readTransferFile(queueA, file("t.a.cam", transfer(1, {tooBig})), syncs));
    EXPECT_EQ(
        log.messages(),
        QStringList({" : error : remaining read size too small for next frame ",
                     "( result != SUCCESS ) || ( compressedSize < RLE_FRAME_AUX_HEAD_OFFSET )",
                     " : error : invalid frame", "error : retrieved frame is invalid "}));

    log.clear();
    frameBytes empty = makeFrame(sync, 0, 1);
    empty.resize(16);
    empty[0] = 16;
    empty[1] = uint8_t(empty[1] & 0xC0);
    // Followed by another frame, so that the source holds more than 26 bytes.
    QByteArray withEmpty = transfer(1, {empty, makeFrame(sync, 1, 2)});
    EXPECT_FALSE(readTransferFile(queueA, file("s.a.cam", withEmpty), syncs));
    EXPECT_EQ(log.messages(),
              QStringList({" : error : unable to extract frame from cmpr buffer",
                           " : error : invalid frame", "error : retrieved frame is invalid "}));
    EXPECT_TRUE(queueA.isEmpty());

    stderrCapture err;
    EXPECT_FALSE(readTransferFile(queueA, dir.file("missing.a.cam"), syncs));
    EXPECT_NE(err.text().find("fopen p_path2file : "), std::string::npos);
}

TEST_F(readerTest, frameOfAnUnknownSyncIsRefused) {
    QByteArray bytes = transfer(1, {makeFrame(uint16_t(sync + 3), 0, 2)});
    EXPECT_FALSE(readTransferFile(queueA, file("u.a.cam", bytes), syncs));
    EXPECT_EQ(log.messages().last(), "error : retrieved frame is invalid ");
}

TEST_F(readerTest, aLongPathIsOpenedInFull) {
    QString deep = dir.mkdir(QString(60, 'd') + "/" + QString(60, 'e'));
    QString path = deep + "/x.a.cam";
    ASSERT_GT(path.size(), 100);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(transfer(1, {makeFrame(sync, 0, 2)}));
    f.close();
    EXPECT_TRUE(readTransferFile(queueA, path, syncs));
}

TEST_F(readerTest, everyTruncationFailsCleanlyAndClosesTheFile) {
    QByteArray full = transfer(1, {makeFrame(sync, 0, 3), makeFrame(sync, 3, 40)});
    int descriptors = openDescriptors();
    for (int length = 0; length < full.size(); ++length) {
        cameraQueue queue(1);
        bool read = readTransferFile(queue, file("c.a.cam", full.left(length)), syncs);
        EXPECT_FALSE(read) << length;
    }
    cameraQueue queue(1);
    EXPECT_TRUE(readTransferFile(queue, file("c.a.cam", full), syncs));
    EXPECT_EQ(openDescriptors(), descriptors);
}

// What took a transfer file's place in the working directory is not read: a link is not
// followed (also one to a good file), a FIFO does not hold the reader, a directory is refused.
TEST_F(readerTest, onlyARegularFileIsRead) {
    const QString good = file("good.a.cam", transfer(1, {makeFrame(sync, 0, 2)}));
    const QString fifo = dir.path() + "/fifo.a.cam";
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    const QString link = dir.path() + "/link.a.cam";
    ASSERT_TRUE(QFile::link(good, link));
    for (const QString& path : {link, fifo, dir.mkdir("sub.a.cam")}) {
        EXPECT_FALSE(readTransferFile(queueA, path, syncs)) << path.toStdString();
        EXPECT_TRUE(queueA.frames().empty());
    }
    EXPECT_TRUE(readTransferFile(queueA, good, syncs));
}

TEST_F(readerTest, extractionNeedsMoreThan26Bytes) {
    frameBytes f = makeFrame(sync, 0, 1);
    cmprBufferPtr source = makeCmprBuffer(64);
    cmprCopy(source.data(), f.data(), int32_t(f.size()));
    cmprFill(source.data(), 26 - int32_t(f.size()), nullptr);
    source->m_readSize = 26;
    frameRecord record;
    extractFrame(&record, source.data(), syncs);
    EXPECT_FALSE(recordValid(record));
    EXPECT_EQ(
        log.messages(),
        QStringList({"( result != SUCCESS ) || ( compressedSize < RLE_FRAME_AUX_HEAD_OFFSET )",
                     " : error : invalid frame"}));
}
