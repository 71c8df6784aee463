// The synchronisation list: the syncPoint of every synchronisation of the current day, keyed
// by syncId, and the daily text file "v<yy><ddd>_1.sync.log" that lets a restarted run continue
// the numbering of the day.
#pragma once

#include "config/cameraParams.h"
#include "platform/clockStepWatch.h"
#include "sync/syncPoint.h"

#include <QSharedPointer>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

// syncId meaning "none".
const uint16_t NO_SYNC_ID = 65535;

class syncList {
public:
    // Directory "C:\data\sync\", the current UTC day as window, then today's file is loaded.
    syncList();

    // Takes `path` as directory when it exists (made absolute), clears the list and loads
    // today's file from there; false (nothing changed) otherwise.
    bool setDirectory(const QString& path);
    const QString& directory() const { return m_directory; }

    // Reads today's file: the numbering of today's synchronisations, without their syncPoints.
    void load();

    // The station's clock-step watch: every synchronisation made from now on carries the clock
    // epoch it has counted (see syncPoint::clockEpoch()). Without one, all carry epoch 0.
    void followClock(const clockStepWatch* watch) { m_clockWatch = watch; }

    // Makes a new synchronisation from the station record `params` with the next syncId (one
    // after the syncId of the latest second, or the next one not yet taken today) and appends
    // its line to today's file. False (nothing changed) when its syncPoint is not
    // valid, or when the day's file could not be read, or its first line of this run not
    // written: the numbering of the day is then unknown, and a number might be handed out twice.
    // False as well when the directory is there but the line did not reach the disk: the
    // syncId is then not given out (a power cut would take it back), nor taken again in this
    // run.
    bool addSync(const cameraParams& params);

    // The syncPoint of `syncId`: null when unknown, and empty for a syncId loaded from the
    // file.
    syncPointPtr find(uint16_t syncId) const;

    // True for a syncId of today's file that an earlier run handed out: its frames cannot be
    // placed in time, as the file keeps no sync times.
    bool fromEarlierRun(uint16_t syncId) const;

    uint16_t currentSyncId() const { return m_currentSyncId; }
    int32_t windowStart() const { return m_windowStart; }
    int32_t windowEnd() const { return m_windowEnd; }
    // Number of syncIds held (for the bounds on memory).
    size_t size() const { return m_points.size(); }

    // Path of the sync list file of the local day of `second`.
    QString fileFor(int64_t second) const;

private:
    void prune(int32_t newSecond);
    // The first syncId from `from` on that is not taken today (65535, "none", is never one);
    // NO_SYNC_ID when every one is.
    uint16_t nextFreeSyncId(uint16_t from) const;
    // Appends the line of a new synchronisation to its day's file; false when the line may not
    // be on disk.
    bool appendLine(uint16_t syncId, int64_t second);
    // Appends the lines that could not be written before, then the line of `syncId`; false when
    // any stays unwritten (kept for the next try).
    bool appendLines(uint16_t syncId, int64_t second);

    QString m_directory;
    int32_t m_windowStart;
    int32_t m_windowEnd;
    // Whatever changes the two maps forgets the last answer of find().
    void forgetLastFound() const {
        m_lastFound = false;
        m_lastPoint.reset();
    }

    std::map<uint16_t, syncPointPtr> m_points;
    // The syncIds of the day taken: in the day's file, or handed out by this run (also those
    // whose line is still to be written). Pruning forgets syncPoints, never this.
    std::vector<bool> m_taken = std::vector<bool>(65536, false);
    std::map<int32_t, uint16_t> m_seconds;
    uint16_t m_currentSyncId;
    // Today's file exists but could not be read: its numbering is unknown.
    bool m_loadFailed = false;
    // Start of the day window whose file this run has written a line to (0: none yet).
    int32_t m_checkedDay = 0;
    // The refusal of a synchronisation was reported and not yet followed by a good one.
    bool m_refusalReported = false;
    // A day's file created by this run whose name has not yet reached the disk (its
    // directory's sync failed): synced again with every line until it does.
    QString m_unsyncedName;
    // Lines that failed to reach the file: written before the next one, so that a restart
    // sees every number handed out.
    std::map<uint16_t, int64_t> m_unwritten;
    const clockStepWatch* m_clockWatch = nullptr;
    // find() is asked once for every frame, nearly always for the same syncId.
    mutable bool m_lastFound = false;
    mutable uint16_t m_lastSyncId = 0;
    mutable syncPointPtr m_lastPoint;
};

typedef QSharedPointer<syncList> syncListPtr;
