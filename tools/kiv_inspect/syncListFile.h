// The day's sync list file ("vYYDDD_1.sync.log") read back: one synchronisation per line,
// syncId and second, and what each tells an operator: a resync on the full hour as planned, one
// at another time after silence, a lost connection or a reboot request, a syncId numbering
// that starts anew, which the station does after rebooting the cameras at the end of the sync
// day (or when it lost the day's list), and one made after the clock was set back.
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <vector>

enum syncEventKind {
    SYNC_PLANNED,    // within the first minutes after a full hour
    SYNC_UNPLANNED,  // at any other time
    SYNC_RESTART,    // the numbering starts anew at 0 or 1: the cameras were rebooted
    SYNC_CLOCK_STEP, // at a second before the line above: the clock was set back in between
};

struct syncEvent {
    uint16_t syncId;
    int64_t second;      // UTC
    int64_t localSecond; // the same as a local second count
    syncEventKind kind;
};

struct syncListReport {
    QString name;
    bool readable = false;
    std::vector<syncEvent> events; // in file order
    int otherLines = 0;            // lines that are no synchronisation
};

// Reads the sync list file at `path`.
syncListReport readSyncList(const QString& path);
// Whether `name` is named as a sync list file.
bool isSyncListName(const QString& name);
// The name of the sync list file of the local day starting at local second `dayStart`.
QString syncListName(int64_t dayStart);

const char* syncEventName(syncEventKind kind);
QString syncListSummaryText(const syncListReport& report);
QJsonObject syncListSummaryJson(const syncListReport& report);
