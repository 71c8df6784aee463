#include "kiv_inspect/stationStatus.h"

#include "platform/stationClock.h"
#include "status/healthFiles.h"
#include "status/stationHealth.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

const char* const STATUS_FILE = "acquire_kiv.status.json";
// A running controller rewrites its status file every HEALTH_REFRESH_S seconds; one that has
// not for three times as long is not running (or hangs), whatever the file says.
const int64_t STALE_AFTER = 3 * HEALTH_REFRESH_S;

// The same times as the sample alert rules.
const int64_t SILENT_AFTER = 300;
const int64_t NO_DATAFILE_AFTER = 600;
const int64_t UNSYNCHRONISED_AFTER = 900;
const double DISK_NEARLY_FULL = 0.05;

int64_t secondsOf(const QJsonValue& t) {
    return t.isObject() ? int64_t(t.toObject()["seconds"].toDouble()) : 0;
}

// A state by name; a file written before the names were in it has the number alone.
QString stateText(const QJsonObject& o, const char* nameKey, const char* numberKey,
                  const char* (*nameOf)(int)) {
    const QJsonValue name = o[QLatin1String(nameKey)];
    return name.isString() ? name.toString()
                           : QLatin1String(nameOf(o[QLatin1String(numberKey)].toInt()));
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

// " since 2026-12-08 07:26:35 (4 min)": when a state was entered, counted to now; nothing
// for a file written before it said so.
QString sinceText(const QJsonValue& since, int64_t now) {
    if (!since.isObject())
        return QString();
    QString local = since.toObject()["local"].toString().left(19);
    return QStringLiteral(" since %1 (%2)")
        .arg(local.replace(QLatin1Char('T'), QLatin1Char(' ')),
             ageText(std::max<int64_t>(0, now - secondsOf(since))));
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
    return QStringLiteral("camera %1     %2%3\n"
                          "             %4 frames read, %5 written, %6 files, last data %7\n"
                          "             last file %8 (%9 bytes)\n")
        .arg(name, stateText(c, "state_name", "state", cameraStateName),
             sinceText(c["state_since"], now))
        .arg(qint64(c["frames_read"].toDouble()))
        .arg(qint64(c["frames_written"].toDouble()))
        .arg(qint64(c["files_processed"].toDouble()))
        .arg(lastDataText(c, now))
        .arg(c["last_file_name"].toString().isEmpty() ? QStringLiteral("-")
                                                      : c["last_file_name"].toString())
        .arg(qint64(c["last_file_size"].toDouble()));
}

} // namespace

QStringList statusAlerts(const QJsonObject& s, int64_t now) {
    QStringList alerts;
    const QJsonObject configuration = s["configuration"].toObject();
    if (configuration.contains(QLatin1String("usable")) && !configuration["usable"].toBool()) {
        QStringList missing;
        for (const QJsonValue& m : configuration["missing_directories"].toArray())
            missing << m.toString();
        alerts << QStringLiteral("configuration not usable: %1 %2 missing: %3")
                      .arg(missing.size())
                      .arg(QLatin1String(missing.size() == 1 ? "directory" : "directories"),
                           missing.join(QStringLiteral(", ")));
    }
    const int64_t running = now - secondsOf(s["started"]);
    if (s["mode"].toString() == QLatin1String("measurement")) {
        const QJsonObject cameras = s["cameras"].toObject();
        for (const QString& name : {QStringLiteral("A"), QStringLiteral("B")}) {
            // Never delivered: counted from the start, as the rule does.
            const int64_t last = secondsOf(cameras[name].toObject()["last_data"]);
            const int64_t quiet = last > 0 ? now - last : running;
            if (quiet > SILENT_AFTER && running > SILENT_AFTER)
                alerts << QStringLiteral("camera %1 delivered no files for %2")
                              .arg(name, ageText(quiet));
        }
        const int64_t last = secondsOf(s["datafiles"].toObject()["last_interval"]);
        const int64_t without = last > 0 ? now - last : running;
        if (without > NO_DATAFILE_AFTER && running > NO_DATAFILE_AFTER)
            alerts << QStringLiteral("no datafile for %1").arg(ageText(without));
    }
    const QJsonObject datafiles = s["datafiles"].toObject();
    const double size = datafiles["disk_size_bytes"].toDouble();
    if (datafiles["disk_free_bytes"].isDouble() && size > 0 &&
        datafiles["disk_free_bytes"].toDouble() / size < DISK_NEARLY_FULL)
        alerts << QStringLiteral("the datafile disk has less than 5 % free");
    const QJsonObject clock = s["time_sync"].toObject();
    if (clock["known"].toBool() && !clock["synchronised"].toBool() &&
        running > UNSYNCHRONISED_AFTER)
        alerts << QStringLiteral("the clock is not synchronised");
    return alerts;
}

int showStationStatus(const QString& dir, QString* out, QString* err) {
    QString path = dir + QLatin1Char('/') + QLatin1String(STATUS_FILE);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *err += QStringLiteral("kiv_inspect: no status file %1\n").arg(path);
        return STATUS_UNREADABLE;
    }
    QJsonParseError parse;
    QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (!doc.isObject()) {
        *err += QStringLiteral("kiv_inspect: %1 is not a status file: %2\n")
                    .arg(path, parse.errorString());
        return STATUS_UNREADABLE;
    }
    QJsonObject s = doc.object();
    QJsonObject sync = s["sync"].toObject();
    QJsonObject cameras = s["cameras"].toObject();
    QJsonObject datafiles = s["datafiles"].toObject();
    const int64_t now = currentSecond();
    QString text;
    text += QStringLiteral("station      %1, version %2, %3 mode\n")
                .arg(dir, s["version"].toString(), s["mode"].toString());
    text +=
        QStringLiteral("phase        %1%2\n")
            .arg(stateText(s, "phase_name", "phase", phaseName), sinceText(s["phase_since"], now));
    const QString update = updateText(s, path, now);
    text += update;
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
    // What a stale or stopped file says is old: only a running controller's conditions count.
    const bool gone =
        update.contains(QLatin1String("\nSTALE")) || update.contains(QLatin1String("\nSTOPPED"));
    const QStringList alerts = gone ? QStringList() : statusAlerts(s, now);
    for (const QString& alert : alerts)
        text += QStringLiteral("ALERT        %1\n").arg(alert);
    *out += text;
    return gone || !alerts.isEmpty() ? STATUS_ATTENTION : STATUS_OK;
}
