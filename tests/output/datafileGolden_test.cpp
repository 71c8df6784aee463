// The datafiles of a fixed input, byte for byte. The input runs the station's whole path
// (poll, input processing, reader, pairing, datafile writer) and covers what the faster code
// paths touch: frames of one line to split frames of several thousand lines, files without
// frames, both cameras in one interval, an interval of thousands of frames, a new
// synchronisation whose early frames pairing drops, and a midnight. The digest was taken from
// the datafiles of the code before any of it was tuned for speed; a change of a single byte
// in any datafile changes it.
#include "app/inputDrain.h"
#include "app/stationSetup.h"
#include "format/datafileReader.h"
#include "format/rleCodec.h"
#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "platform/stationClock.h"
#include "support/datafileFixture.h"
#include "support/stationFolder.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "support/transferFiles.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

namespace {

const double NOON = 1700049600.0; // 12:00 UTC
const uint64_t LINES_PER_SECOND = 55172;

struct goldenStation {
    goldenStation(double start) : tz("UTC"), clock(start), guard(&clock) {
        const QByteArray config = QFile::encodeName(makeStationFolder(dir.path()));
        syncs = syncListPtr(new syncList());
        cameraA = makeCameraInput(syncs, 1, config.constData());
        cameraB = makeCameraInput(syncs, 2, config.constData());
        writer = std::make_unique<datafileWriter>(config.constData());
    }

    // One transfer file of camera `camera`: `stretches` runs of lines starting every
    // `spacing` lines from `first`, of the lengths `lengthOf` gives, with their frames.
    void deliver(int camera, uint64_t first, int stretches, uint64_t spacing, int (*lengthOf)(int),
                 int seed) {
        uint16_t id = syncs->currentSyncId();
        std::vector<frameBytes> frames;
        for (int k = 0; k < stretches; ++k) {
            std::vector<frameBytes> stretch;
            ASSERT_EQ(encodeRleFrames(wanderingLines(lengthOf(k), seed + k), id,
                                      first + uint64_t(k) * spacing, &stretch),
                      0);
            frames.insert(frames.end(), stretch.begin(), stretch.end());
        }
        ASSERT_TRUE(writeWhole(
            dir.file(cameraDir(camera, "input") + "/" + transferName(camera, ++files)),
            transferFile(camera, id, first, frames, first + uint64_t(stretches) * spacing)));
    }

    // One poll of both cameras and the run loop's processing of everything that came.
    void poll() {
        inputDrain drain{cameraA.get(), cameraB.get(), writer.get(), cameraA->collectInput() != 0,
                         cameraB->collectInput() != 0};
        written += drainInput(&drain, monotonicSecond() + STATION_PROCESSING_WINDOW, nullptr);
    }

    scopedTimeZone tz;
    tempStation dir;
    simulatedClock clock;
    scopedStationClock guard;
    syncListPtr syncs;
    std::unique_ptr<cameraInput> cameraA, cameraB;
    std::unique_ptr<datafileWriter> writer;
    int files = 0;
    int written = 0;
};

int shortStretch(int k) {
    return 1 + (k * 37) % 90;
}
int mixedStretch(int k) {
    return k % 7 == 3 ? 1500 + (k * 53) % 1700 : 1 + (k * 29) % 300;
}
int singleLine(int) {
    return 1;
}

// Name, size and bytes of every datafile, in name order, into one digest.
QByteArray digestOf(const tempStation& dir, int* count, int* unreadable) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    *count = 0;
    *unreadable = 0;
    for (const QString& name : dir.list("3sec")) {
        QByteArray bytes = dir.read("3sec/" + name);
        hash.addData(name.toLatin1());
        hash.addData(QByteArray::number(bytes.size()));
        hash.addData(bytes);
        ++*count;
        datafileContent content;
        datafileProblem problem;
        if (!readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                          &content, &problem))
            ++*unreadable;
    }
    return hash.result().toHex();
}

} // namespace

TEST(datafileGolden, fixedInputGivesTheSameDatafilesByteForByte) {
    goldenStation station(NOON + 0.375);
    ASSERT_TRUE(station.syncs->addSync(stationParams()));
    // Six seconds of both cameras: short frames, frames split at the line and size limits,
    // a file without frames, a dense second of single-line frames.
    for (int s = 0; s < 6; ++s) {
        uint64_t first = uint64_t(s) * LINES_PER_SECOND;
        if (s == 2) {
            station.deliver(1, first, 0, 1, singleLine, 0);
            station.deliver(2, first + 5, 400, 137, shortStretch, 9);
        } else if (s == 4) {
            station.deliver(1, first, 12000, 4, singleLine, s);
            station.deliver(2, first + 2, 9000, 6, singleLine, s + 50);
        } else {
            station.deliver(1, first, 16, 3300, mixedStretch, s * 100);
            station.deliver(2, first + 11, 500, 97, shortStretch, s * 100 + 7);
        }
        station.clock.advance(1.0);
        if (s % 3 == 2)
            station.poll();
    }
    // A resync: the new syncId's lines count from 0 again, and its first frames fall into an
    // interval that was already paired.
    station.clock.advance(0.5);
    ASSERT_TRUE(station.syncs->addSync(stationParams()));
    for (int s = 0; s < 4; ++s) {
        station.deliver(1, uint64_t(s) * LINES_PER_SECOND, 200, 250, shortStretch, s);
        station.deliver(2, uint64_t(s) * LINES_PER_SECOND + 3, 16, 3300, mixedStretch, s + 1);
    }
    station.poll();
    // Across midnight: frames past the end of the sync day stay in its last interval, and the
    // first synchronisation of the new day closes it.
    station.clock.set(NOON + 43200.0 - 4.5);
    ASSERT_TRUE(station.syncs->addSync(stationParams()));
    for (int s = 0; s < 5; ++s) {
        station.deliver(1, uint64_t(s) * LINES_PER_SECOND, 100, 500, shortStretch, s + 3);
        station.deliver(2, uint64_t(s) * LINES_PER_SECOND + 1, 100, 500, shortStretch, s + 4);
    }
    station.poll();
    station.clock.set(NOON + 43200.0 + 0.25);
    ASSERT_TRUE(station.syncs->addSync(stationParams()));
    for (int s = 0; s < 4; ++s) {
        station.deliver(1, uint64_t(s) * LINES_PER_SECOND, 100, 500, singleLine, s);
        station.deliver(2, uint64_t(s) * LINES_PER_SECOND + 1, 100, 500, shortStretch, s + 5);
    }
    station.poll();

    int count = 0;
    int unreadable = 0;
    QByteArray digest = digestOf(station.dir, &count, &unreadable);
    EXPECT_EQ(count, station.written);
    EXPECT_EQ(count, 7);
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(digest.toStdString(),
              "2e3bc947977810c8ab6b024669b3fde19b4de0bf4fbddd1335b267206c7c0450");
}
