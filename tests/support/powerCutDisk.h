// The disk under an in-process station as a power cut leaves it. Beside the real files it
// keeps what is durable: the bytes of each file as of its last sync, and each directory entry
// (a creation, a rename, a removal) as of the last sync of its directory. At the cut it puts
// the real files back to that state, or to one of the worse states real disks leave behind.
// The cut comes before the Nth operation that changes the disk; from then on every operation
// of the station fails, as on a machine without power, until the files are restored.
// It also makes syncs fail with EIO and plays a file system that refuses the no-replace rename
// flag, or that and hard links too.
#pragma once

#include "platform/fileOps.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <map>
#include <random>

// What happens to data and directory entries that were not made durable.
enum class cutLoss {
    unsynced,   // all of it is gone
    partlyKept, // some of it reached the disk: a part of each file's unsynced data, and each
                // unsynced directory entry with even odds (a rename with both its names)
    tornBlock,  // as partlyKept, but a file keeps its new length while the tail of its last
                // unsynced block never reached the disk and reads as zeros
};

enum class renameSupport { noReplaceFlag, hardLinksOnly, plainRenameOnly };

class powerCutDisk {
public:
    powerCutDisk(unsigned seed, renameSupport rename, double syncFailureOdds);
    ~powerCutDisk();
    powerCutDisk(const powerCutDisk&) = delete;
    powerCutDisk& operator=(const powerCutDisk&) = delete;

    // Operations while true are the station's and stand to lose what they did not make
    // durable; the rest (the cameras, other computers) are durable at once and never fail.
    void setStationRunning(bool running) { m_stationRunning = running; }
    // Cuts the power before the `count`th further operation of the station (count >= 1).
    void cutAfter(long count) { m_untilCut = count; }
    bool isCut() const { return m_cut; }
    // Puts the files back to what survived the cut; the power is back and everything now on
    // disk is durable.
    void restore(cutLoss loss);

    long operations() const { return m_operations; }
    int syncFailures() const { return m_syncFailures; }
    // Every content the station renamed to each name (absolute paths).
    const std::map<QString, QSet<QByteArray>>& delivered() const { return m_delivered; }

private:
    bool fault(fileOp op, const QString& path);
    void event(fileOp op, const QString& path, const QString& target, bool done);
    void track(const QString& path);
    void forget(const QString& path);
    void makeDurable(const QString& path);
    QByteArray survivingData(int id, cutLoss loss);

    std::mt19937 m_random;
    renameSupport m_rename;
    double m_syncFailureOdds;
    bool m_stationRunning = false;
    long m_untilCut = 0; // 0: no cut planned
    bool m_cut = false;
    long m_operations = 0;
    int m_syncFailures = 0;
    int m_nextId = 1;
    std::map<int, QByteArray> m_durableData;  // the synced bytes of each file the station touched
    std::map<QString, int> m_durableName;     // file behind each touched name on disk (0: none)
    std::map<QString, int> m_name;            // file behind each touched name now (0: none)
    std::map<QString, QString> m_renamedWith; // the other name of a rename not yet durable
    std::map<QString, QSet<QByteArray>> m_delivered;
};
