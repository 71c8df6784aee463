// The health files beside the heartbeat: "./acquire_kiv.status.json" for people and scripts and
// "./acquire_kiv.prom" in the text format that metrics collectors read. Each is written through
// a temporary name and renamed over the previous one, at most once a second and only when its
// content changed; a failed write is counted and skipped, never retried in the loop.
#pragma once

#include "status/stationHealth.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The status file's content at `now`.
QByteArray renderStatusJson(const stationHealth& health, int64_t now);
// The metrics file's content at `now`.
QByteArray renderMetrics(const stationHealth& health, int64_t now);

class healthFiles {
public:
    // Files in `directory` (the station's working directory by default).
    explicit healthFiles(const QString& directory = QStringLiteral("."));
    // Writes both files when a second has passed since the last write (or `now` is forced, as
    // at the end of a run) and their content changed; failures are counted in `health`.
    void publish(stationHealth* health, int64_t now, bool force = false);

private:
    bool writeIfChanged(const QString& name, const QByteArray& content, QByteArray* last);

    QString m_directory;
    int64_t m_lastWrite = INT64_MIN; // a second of the monotonic clock
    QByteArray m_lastStatus;
    QByteArray m_lastMetrics;
};
