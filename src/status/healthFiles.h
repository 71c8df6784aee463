// The health files beside the heartbeat: "./acquire_kiv.status.json" for people and scripts and
// "./acquire_kiv.prom" in the text format that metrics collectors read. Each is written through
// a temporary name and renamed over the previous one. Creating them is the controller's largest
// cost while it idles, so they are rewritten only when what they say changed (at most once a
// second) and otherwise every HEALTH_REFRESH_S seconds, which tells the collector that the
// controller still runs; a failed write is counted and skipped, never retried in the loop.
#pragma once

#include "platform/timeSync.h"
#include "status/stationHealth.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <limits>

// The files are rewritten at least this often (seconds of the monotonic clock), in every phase.
const int64_t HEALTH_REFRESH_S = 10;
// The status file's layout; 2 replaced the cameras' seconds since data by its time stamp, 3
// added the phase and camera states by name with their "since" and the configuration's state.
const int HEALTH_SCHEMA = 3;

// What is read when the files are written rather than kept by the run: the write time, the
// free space where the datafiles go and the clock's synchronisation. They move by themselves,
// so they alone never make the files be rewritten before HEALTH_REFRESH_S has passed.
struct healthSample {
    int64_t updated = 0;   // wall-clock second of the write
    int64_t diskFree = -1; // bytes the controller may still write there; -1: not known
    int64_t diskSize = -1; // bytes of that file system; -1: not known
    timeSyncState timeSync;
};

// The sample at wall-clock second `now`: free space of `health`'s datafile directory and the
// kernel's time-sync state.
healthSample takeHealthSample(const stationHealth& health, int64_t now);

// The status file's content.
QByteArray renderStatusJson(const stationHealth& health, const healthSample& sample);
// The metrics file's content.
QByteArray renderMetrics(const stationHealth& health, const healthSample& sample);

class healthFiles {
public:
    // Files in `directory` (the station's working directory by default).
    explicit healthFiles(const QString& directory = QStringLiteral("."));
    // Writes both files, stamped `now` (wall clock), when their content changed and a second
    // has passed since the last write, when HEALTH_REFRESH_S seconds have passed, or when
    // `force` is set (the end of a run); failures are counted in `health`, and told.
    void publish(stationHealth* health, int64_t now, bool force = false);
    // When HEALTH_REFRESH_S will have passed since the last write (seconds of the monotonic
    // clock); never before the first, which is the run's own publish(), made once it has looked
    // at its directories (a write between waits before it would call a configuration usable
    // that is not).
    double nextDue() const {
        return m_lastWrite == INT64_MIN ? std::numeric_limits<double>::infinity()
                                        : double(m_lastWrite) + double(HEALTH_REFRESH_S);
    }

private:
    // 0 when written, else the errno of the failure (`*failed`: the file that failed).
    int replaceWith(const QString& name, const QByteArray& content, QString* failed);

    QString m_directory;
    int64_t m_lastWrite = INT64_MIN; // a second of the monotonic clock
    QByteArray m_lastContent;        // the status file as written, without its sample
    // Monotonic second of the first failure told; a failure is told once, and once more when
    // both files are written again.
    int64_t m_failingSince = INT64_MIN;
};
