// Datafiles made by the station's own pipeline for tests: camera lines are encoded into
// run-length frames, packed into transfer files, read into the camera queues, paired and
// written by the datafile writer, on a simulated clock.
#pragma once

#include "format/rleCodec.h"
#include "output/cameraQueue.h"
#include "output/datafileWriter.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"
#include "sync/syncList.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class datafileMaker {
public:
    // A station synchronised at `syncTime` (UTC seconds); its datafiles go to "3sec" in `dir`.
    datafileMaker(const tempStation& dir, double syncTime);

    // Reads the lines of camera 1 or 2 from line counter `lineCounter` on, as one transfer file
    // of as many frames as they need; true when every frame was queued.
    bool addLines(int camera, uint64_t lineCounter, const std::vector<shadowLine>& lines);
    // Pairs the queued frames and writes every complete interval; the names written.
    QStringList writeAll();

    const QString& directory() const { return m_outputDir; }
    uint16_t syncId() const { return m_syncs.currentSyncId(); }
    syncPointPtr sync() const { return m_syncs.find(syncId()); }
    // The line counter of the first line of the interval `index` intervals after the one
    // holding the sync time.
    uint64_t lineOfInterval(int index) const;

private:
    const tempStation& m_dir;
    simulatedClock m_clock;
    scopedStationClock m_guard;
    syncList m_syncs;
    cameraQueue m_queueA;
    cameraQueue m_queueB;
    std::unique_ptr<datafileWriter> m_writer;
    QString m_outputDir;
    int m_files = 0;
};

// `count` lines, each with one shadow segment that wanders over the window.
std::vector<shadowLine> wanderingLines(int count, int seed = 0);
