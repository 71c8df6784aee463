#include "support/datafileFixture.h"

#include "input/transferFile.h"
#include "support/stationFolder.h"
#include "support/syncFixture.h"
#include "support/transferFiles.h"
#include "sync/timeConv.h"

#include <QFile>

#include <cmath>
#include <gtest/gtest.h>

datafileMaker::datafileMaker(const tempStation& dir, double syncTime)
    : m_dir(dir), m_clock(syncTime), m_guard(&m_clock), m_queueA(1), m_queueB(2) {
    const QString settings = makeStationFolder(dir.path());
    m_outputDir = dir.file("3sec");
    EXPECT_TRUE(m_syncs.setDirectory(dir.file("sync")));
    EXPECT_TRUE(m_syncs.addSync(stationParams()));
    m_writer = std::make_unique<datafileWriter>(QFile::encodeName(settings).constData());
}

bool datafileMaker::addLines(int camera, uint64_t lineCounter,
                             const std::vector<shadowLine>& lines) {
    std::vector<frameBytes> frames;
    if (encodeRleFrames(lines, syncId(), lineCounter, &frames) != 0)
        return false;
    QString path = m_dir.write(
        cameraDir(camera, "input") + "/" + transferName(camera, m_files++),
        transferFile(camera, syncId(), lineCounter, frames, lineCounter + lines.size()));
    // The station reads a file after its lines were recorded: its clock is past them.
    const double recorded = absoluteTime(sync().data(), double(lineCounter + lines.size()));
    if (recorded > m_clock.now())
        m_clock.set(recorded);
    return readTransferFile(camera == 1 ? m_queueA : m_queueB, path, m_syncs);
}

QStringList datafileMaker::writeAll() {
    m_writer->pairFrames(m_queueA, m_queueB);
    QStringList names;
    while (m_writer->writeNextDatafile())
        names << QFile(m_writer->lastDatafile()).fileName().section(QLatin1Char('/'), -1);
    return names;
}

uint64_t datafileMaker::lineOfInterval(int index) const {
    const syncPoint* point = sync().data();
    double rate = point->lineFrequency();
    double syncTime = point->syncTime();
    double start = double(int64_t(syncTime) - int64_t(syncTime) % 3) + 3.0 * index;
    // One line past the boundary, so that rounding cannot put it into the interval before.
    double lines = std::ceil((start - syncTime) * rate) + 1.0;
    return lines < 0 ? 0 : uint64_t(lines);
}

std::vector<shadowLine> wanderingLines(int count, int seed) {
    std::vector<shadowLine> lines;
    for (int i = 0; i < count; ++i) {
        int k = i + seed;
        if (k % 5 == 4) {
            lines.emplace_back(); // a line without shadow
            continue;
        }
        uint16_t start = uint16_t(20 + (k * 37) % 500);
        lines.push_back(shadowLine{{start, uint16_t(1 + k % 9)}});
        if (k % 3 == 0)
            lines.back().push_back(shadowSegment{uint16_t(start + 40), 4});
    }
    return lines;
}
