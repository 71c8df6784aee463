#include "kiv_inspect/stationStatus.h"

#include "platform/stationClock.h"
#include "status/healthFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const STATUS_FILE = "acquire_kiv.status.json";
// A running controller rewrites its status file every HEALTH_REFRESH_S seconds; one that has
// not for three times as long is not running (or hangs), whatever the file says.
const int64_t STALE_AFTER = 3 * HEALTH_REFRESH_S;

const char* phaseName(int phase) {
    switch (phase) {
    case 1:
        return "normalisation";
    case 2:
        return "measurement parameters";
    case 3:
        return "measurement";
    default:
        return "starting";
    }
}

QString timeText(const QJsonValue& t) {
    if (!t.isObject())
        return QStringLiteral("-");
    QJsonObject o = t.toObject();
    return QStringLiteral("%1 (%2 UTC)").arg(o["local"].toString(), o["utc"].toString());
}

QString countsText(const QJsonObject& counts) {
    QStringList parts;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.key() != QLatin1String("total") && it.value().toDouble() > 0)
            parts << QStringLiteral("%1 %2").arg(it.key()).arg(qint64(it.value().toDouble()));
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

QString ageText(int64_t seconds) {
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 2 * 3600)
        return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 2 * 86400)
        return QStringLiteral("%1 h").arg(seconds / 3600);
    return QStringLiteral("%1 days").arg(seconds / 86400);
}

// When the camera last delivered, counted to now: the file may be old.
QString lastDataText(const QJsonObject& c, int64_t now) {
    const QJsonValue last = c["last_data"];
    if (last.isObject())
        return QStringLiteral("%1 ago").arg(ageText(now - int64_t(last["seconds"].toDouble())));
    // A file written before the status file had a schema: its figure is as old as the file.
    if (c.contains(QLatin1String("seconds_since_last_data")) &&
        c["seconds_since_last_data"].toDouble() >= 0)
        return QStringLiteral("%1 s before the file was written")
            .arg(qint64(c["seconds_since_last_data"].toDouble()));
    return QStringLiteral("never");
}

// When the file was written, by whom, and whether that controller still writes it.
QString updateText(const QJsonObject& s, const QString& path, int64_t now) {
    int64_t updated = int64_t(s["updated"].toObject()["seconds"].toDouble());
    QString pid = s.contains(QLatin1String("pid"))
                      ? QStringLiteral(", PID %1").arg(qint64(s["pid"].toDouble()))
                      : QString();
    if (updated <= 0) // written before the file carried its time: the file's own time
        updated = QFileInfo(path).lastModified().toSecsSinceEpoch();
    const int64_t age = now - updated;
    QString text = QStringLiteral("updated      %1 UTC (%2 ago%3)\n")
                       .arg(QDateTime::fromSecsSinceEpoch(updated, Qt::UTC).toString(Qt::ISODate))
                       .arg(ageText(age < 0 ? 0 : age), pid);
    if (s.contains(QLatin1String("running")) && !s["running"].toBool())
        text += QStringLiteral("STOPPED      the controller ended; this is its last state\n");
    else if (age > STALE_AFTER)
        text += QStringLiteral("STALE        not rewritten for %1: the controller is not running "
                               "or hangs; what follows is old\n")
                    .arg(ageText(age));
    return text;
}

QString cameraText(const QString& name, const QJsonObject& c, int64_t now) {
    return QStringLiteral(
               "camera %1     state %2, %3 frames read, %4 written, %5 files, last data %6\n"
               "             last file %7 (%8 bytes)\n")
        .arg(name)
        .arg(c["state"].toInt())
        .arg(qint64(c["frames_read"].toDouble()))
        .arg(qint64(c["frames_written"].toDouble()))
        .arg(qint64(c["files_processed"].toDouble()))
        .arg(lastDataText(c, now))
        .arg(c["last_file_name"].toString().isEmpty() ? QStringLiteral("-")
                                                      : c["last_file_name"].toString())
        .arg(qint64(c["last_file_size"].toDouble()));
}

} // namespace

bool showStationStatus(const QString& dir, QString* out, QString* err) {
    QString path = dir + QLatin1Char('/') + QLatin1String(STATUS_FILE);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *err += QStringLiteral("kiv_inspect: no status file %1\n").arg(path);
        return false;
    }
    QJsonParseError parse;
    QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        *err += QStringLiteral("kiv_inspect: %1 is not a status file: %2\n")
                    .arg(path, parse.errorString());
        return false;
    }
    QJsonObject s = doc.object();
    QJsonObject sync = s["sync"].toObject();
    QJsonObject cameras = s["cameras"].toObject();
    QJsonObject datafiles = s["datafiles"].toObject();
    const int64_t now = currentSecond();
    QString text;
    text += QStringLiteral("station      %1, version %2, %3 mode, phase %4 (%5)\n")
                .arg(dir, s["version"].toString(), s["mode"].toString())
                .arg(s["phase"].toInt())
                .arg(QLatin1String(phaseName(s["phase"].toInt())));
    text += updateText(s, path, now);
    text += sync["sync_id"].isNull()
                ? QStringLiteral("sync         none\n")
                : QStringLiteral("sync         syncId %1 at %2\n"
                                 "             next resync %3%4\n")
                      .arg(sync["sync_id"].toInt())
                      .arg(timeText(sync["sync_second"]), timeText(sync["next_resync"]),
                           sync["reboot_at_resync"].toBool() ? QStringLiteral(", with reboot")
                                                             : QString());
    text += cameraText(QStringLiteral("A"), cameras["A"].toObject(), now);
    text += cameraText(QStringLiteral("B"), cameras["B"].toObject(), now);
    text += QStringLiteral("datafiles    %1 written, last %2, %3 intervals lost\n")
                .arg(qint64(datafiles["written"].toDouble()))
                .arg(datafiles["last"].toString().isEmpty() ? QStringLiteral("-")
                                                            : datafiles["last"].toString())
                .arg(qint64(datafiles["intervals_lost"].toDouble()));
    if (datafiles["disk_free_bytes"].isDouble())
        text += QStringLiteral("             %1 MB free of %2 MB\n")
                    .arg(qint64(datafiles["disk_free_bytes"].toDouble() / 1e6))
                    .arg(qint64(datafiles["disk_size_bytes"].toDouble() / 1e6));
    const QJsonObject clock = s["time_sync"].toObject();
    if (clock["known"].toBool())
        text += QStringLiteral("clock        %1, estimated error %2 s, maximum %3 s\n")
                    .arg(clock["synchronised"].toBool() ? QStringLiteral("synchronised")
                                                        : QStringLiteral("NOT synchronised"))
                    .arg(clock["estimated_error_seconds"].toDouble(), 0, 'g', 3)
                    .arg(clock["maximum_error_seconds"].toDouble(), 0, 'g', 3);
    QJsonObject reboots = s["reboots"].toObject();
    text += QStringLiteral("resyncs      %1 (%2); reboots A %3, B %4\n")
                .arg(qint64(s["resyncs"].toObject()["total"].toDouble()))
                .arg(countsText(s["resyncs"].toObject()))
                .arg(qint64(reboots["A"].toDouble()))
                .arg(qint64(reboots["B"].toDouble()));
    // Files of an older controller have no stall counts: the line is left out.
    const QJsonObject a = cameras["A"].toObject();
    const QJsonObject b = cameras["B"].toObject();
    if (a.contains("stalls") || b.contains("stalls"))
        text +=
            QStringLiteral("share stalls A %1%2, B %3%4\n")
                .arg(qint64(a["stalls"].toDouble()))
                .arg(a["share_stalled"].toBool() ? QStringLiteral(" (not answering)") : QString())
                .arg(qint64(b["stalls"].toDouble()))
                .arg(b["share_stalled"].toBool() ? QStringLiteral(" (not answering)") : QString());
    text += QStringLiteral("errors       %1\n").arg(countsText(s["errors"].toObject()));
    text += QStringLiteral("messages\n");
    for (const QJsonValue& m : s["last_messages"].toArray())
        text += QStringLiteral("  %1\n").arg(m.toString());
    *out += text;
    return true;
}
