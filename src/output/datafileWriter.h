// The datafile writer: cuts the paired frames of both cameras into one datafile per 3-second
// interval (sync header, frame entries, end positions, rain data, reserved words, byte-sum
// checksum), written under a ".part" name, synced, and renamed without replacing anything.
#pragma once

#include "format/cmprBuffer.h"
#include "format/datafileLayout.h"
#include "output/pairing.h"
#include "platform/fileOps.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <future>
#include <vector>

// The folder in the datafile directory for intervals whose local second came again.
const char* const REPEATED_DATAFILE_DIR = "repeated";

// What one attempt to write the next datafile came to.
enum class datafileOutcome {
    written,  // a datafile was written and got its final name (staged: was written, see below)
    notReady, // no complete interval waits (or no output buffer could be had): nothing changed
    lost,     // the first interval was taken off the paired queue but not written (reported)
};

class datafileWriter {
public:
    // Output directory "C:\data\3sec\", then the settings file `settingsPath` (may be null).
    explicit datafileWriter(const char* settingsPath);
    // Datafiles still staged are completed.
    ~datafileWriter();
    datafileWriter(const datafileWriter&) = delete;
    datafileWriter& operator=(const datafileWriter&) = delete;

    // Pairs the frames of both cameras into this writer's paired queue.
    bool pairFrames(cameraQueue& queueA, cameraQueue& queueB);

    // Writes the first interval of the paired queue once a record of a later interval has
    // been paired. Datafiles staged before it are completed first, untold.
    datafileOutcome writeDatafile();
    // Writes it as writeDatafile does but leaves it under its ".part" name, with the disk
    // started on writing it: `written` here means staged. The disk writes while the station
    // reads on, and completeStaged() finds little left to wait for.
    datafileOutcome stageDatafile();
    // Completes the staged datafiles in the order they were staged: each synced, renamed to its
    // final name, then their folder synced. `told` (may be empty) hears of each, written or
    // lost, with lastDatafile() naming a written one. Returns how many were written. Waits for
    // a completion started before, and tells of it first. Runs on the caller's thread.
    int completeStaged(const std::function<void(datafileOutcome)>& told);
    // The same in two steps, for a caller with more to do meanwhile: the syncs and renames of
    // the staged datafiles run on a thread of their own (the loop's thread waits for none of
    // the disk's answers), and finishCompletion() waits for them, says what failed, counts and
    // tells, as completeStaged does. One completion runs at a time: a second start finishes
    // the first, untold.
    void startCompletion();
    int finishCompletion(const std::function<void(datafileOutcome)>& told);
    size_t stagedCount() const { return m_staged.size(); }
    bool completing() const { return m_completing.valid(); }
    // True only when a datafile was written and got its final name.
    bool writeNextDatafile() { return writeDatafile() == datafileOutcome::written; }

    // Datafiles a power cut left under their ".part" name (written and synced, but the rename
    // not yet on disk) get their final name at the start of a run: their frames are nowhere
    // else. One that is there already under that name with the same bytes goes; one whose
    // name is taken by another goes to repeated/; a damaged one stays, reported. Returns how
    // many were completed.
    int completeUnfinished();

    const QString& outputDirectory() const { return m_outputDirectory; }
    pairedQueue& paired() { return m_paired; }
    // Name of the datafile of an interval starting at UTC second `intervalStart`.
    static QString datafileName(int32_t intervalStart);
    // Where the datafile of an interval goes whose usual name is taken already (the same local
    // second came twice: the end of summer time, a clock stepped back, a restart inside an
    // interval written before): "repeated/<usual name>.<n>" in the datafile directory, n from
    // 2 on, the first free one. A reader of the usual names never picks these up.
    QString repeatedPath(const QString& name) const;
    // Full path of the last datafile written (empty before the first), and the UTC start of its
    // interval.
    const QString& lastDatafile() const { return m_lastDatafile; }
    int32_t lastInterval() const { return m_lastInterval; }
    // Frame entries of camera `c` in the datafiles written so far.
    uint64_t framesWritten(cam c) const { return m_framesWritten[camIndex(c)]; }

private:
    // Takes the first interval off the paired queue into the output buffer.
    bool appendInterval();
    // Writes the output buffer under the ".part" name of the interval's datafile and stages it.
    bool stage(int32_t interval);

    // A datafile written under its ".part" name whose final name waits for its sync.
    struct stagedDatafile {
        FILE* file;
        QString temp;
        QString path;
        int32_t interval;
        uint64_t frames[2];
    };
    // What the completion of a staged datafile came to on the disk.
    struct completedDatafile {
        stagedDatafile staged;
        bool synced; // synced and closed
        bool named;  // and renamed to its final name
    };
    static std::vector<completedDatafile> completeOnDisk(std::vector<stagedDatafile> staged,
                                                         fileHooks hooks);
    // True when a datafile staged or being completed will take the final name `path`.
    bool nameInHand(const QString& path) const;
    // Hands the staged datafiles to their completion: on a thread of its own (async) or on the
    // one that waits for it (deferred).
    void handOver(std::launch policy);

    QString m_outputDirectory;
    pairedQueue m_paired;
    cmprBufferPtr m_output;
    cmprBufferPtr m_intervalBlock;
    cmprBufferPtr m_rainDataBlock;
    cmprBufferPtr m_reservedBlock;
    QString m_lastDatafile;
    int32_t m_lastInterval = 0;
    uint64_t m_framesWritten[2] = {0, 0};
    uint64_t m_framesAssembled[2] = {0, 0}; // entries of the datafile being assembled
    std::vector<stagedDatafile> m_staged;
    // The completion running, and the final names it gives (taken for the names check).
    std::future<std::vector<completedDatafile>> m_completing;
    QStringList m_completingPaths;
    // Frames of the camera of queue A (0) or B (1) went on without their partner and that was
    // told; told again only after the other camera delivered.
    bool m_aloneTold[2] = {false, false};
};
