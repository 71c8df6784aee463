#include "kiv_inspect/syncListFile.h"

#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inputFile.h"
#include "kiv_inspect/inspectTime.h"
#include "sync/timeConv.h"

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>

#include <ctime>

namespace {

const int64_t HOUR = 3600;
// A resync planned for the full hour is made once both cameras answered the handshake.
const int64_t PLANNED_WITHIN = 120;
// Larger than a day of synchronisations once a second.
const int64_t SYNC_LIST_LIMIT = int64_t(8) << 20;

} // namespace

bool isSyncListName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^v\\d{5}_1\\.sync\\.log$"));
    return pattern.match(name).hasMatch();
}

QString syncListName(int64_t dayStart) {
    time_t t = time_t(dayStart);
    struct tm parts = {};
    gmtime_r(&t, &parts);
    return QStringLiteral("v%1%2_1.sync.log")
        .arg(parts.tm_year % 100, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_yday + 1, 3, 10, QLatin1Char('0'));
}

syncListReport readSyncList(const QString& path) {
    syncListReport r;
    r.name = baseName(path);
    QByteArray bytes;
    QString error;
    if (!readInputFile(path, SYNC_LIST_LIMIT, &bytes, &error) || bytes.size() > SYNC_LIST_LIMIT)
        return r;
    r.readable = true;
    for (const QByteArray& raw : bytes.split('\n')) {
        QList<QByteArray> fields = raw.simplified().split(' ');
        if (fields.size() < 2) {
            r.otherLines += !raw.trimmed().isEmpty();
            continue;
        }
        bool idOk = false, secondOk = false;
        uint syncId = fields[0].toUInt(&idOk);
        qlonglong second = fields[1].toLongLong(&secondOk);
        if (!idOk || !secondOk || syncId >= 65535 || second < 0) {
            ++r.otherLines;
            continue;
        }
        syncEvent e;
        e.syncId = uint16_t(syncId);
        e.second = second;
        e.localSecond = second + localOffset(second);
        // The numbering starts anew at 0 (or 1 after a 0); any other id skips those the day's
        // list holds already, as after a restart that followed a step of the clock back.
        const bool continues =
            !r.events.empty() && uint16_t(r.events.back().syncId + 1) == e.syncId;
        if (!continues && e.syncId <= 1 && !r.events.empty())
            e.kind = SYNC_RESTART;
        else if (!r.events.empty() && second < r.events.back().second)
            e.kind = SYNC_CLOCK_STEP;
        else
            e.kind = second % HOUR < PLANNED_WITHIN ? SYNC_PLANNED : SYNC_UNPLANNED;
        r.events.push_back(e);
    }
    return r;
}

const char* syncEventName(syncEventKind kind) {
    switch (kind) {
    case SYNC_PLANNED:
        return "planned";
    case SYNC_UNPLANNED:
        return "unplanned";
    case SYNC_RESTART:
        return "restart";
    case SYNC_CLOCK_STEP:
        return "after a clock step";
    }
    return "?";
}

QString syncListSummaryText(const syncListReport& r) {
    QString text = QStringLiteral("sync list file %1\n").arg(r.name);
    if (!r.readable)
        return text + summaryLine("verdict", QStringLiteral("UNREADABLE"));
    int counts[4] = {0, 0, 0, 0};
    for (const syncEvent& e : r.events)
        ++counts[e.kind];
    text += summaryLine("synchronisations",
                        QStringLiteral("%1: %2 planned (full hour), %3 unplanned, %4 numbering "
                                       "restarts (cameras rebooted), %5 after a clock step back")
                            .arg(r.events.size())
                            .arg(counts[SYNC_PLANNED])
                            .arg(counts[SYNC_UNPLANNED])
                            .arg(counts[SYNC_RESTART])
                            .arg(counts[SYNC_CLOCK_STEP]));
    for (const syncEvent& e : r.events)
        text += QString::asprintf("  %5u  ", unsigned(e.syncId)) + localAndUtc(e.localSecond) +
                QStringLiteral("  %1\n").arg(QLatin1String(syncEventName(e.kind)));
    if (r.otherLines > 0)
        text += summaryLine("other lines", QString::number(r.otherLines));
    return text;
}

QJsonObject syncListSummaryJson(const syncListReport& r) {
    QJsonObject o;
    o["kind"] = "sync_list";
    o["file"] = r.name;
    o["readable"] = r.readable;
    QJsonArray events;
    for (const syncEvent& e : r.events) {
        QJsonObject event;
        event["sync_id"] = e.syncId;
        event["second_utc"] = qint64(e.second);
        event["local"] = clockText(e.localSecond);
        event["utc"] = clockText(e.second);
        event["kind"] = syncEventName(e.kind);
        events.append(event);
    }
    o["synchronisations"] = events;
    o["other_lines"] = r.otherLines;
    return o;
}
