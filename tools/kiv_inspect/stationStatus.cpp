#include "kiv_inspect/stationStatus.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const STATUS_FILE = "acquire_kiv.status.json";

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

QString cameraText(const QString& name, const QJsonObject& c) {
    qint64 since = qint64(c["seconds_since_last_data"].toDouble());
    return QStringLiteral(
               "camera %1     state %2, %3 frames read, %4 written, %5 files, last data %6\n"
               "             last file %7 (%8 bytes)\n")
        .arg(name)
        .arg(c["state"].toInt())
        .arg(qint64(c["frames_read"].toDouble()))
        .arg(qint64(c["frames_written"].toDouble()))
        .arg(qint64(c["files_processed"].toDouble()))
        .arg(since < 0 ? QStringLiteral("never") : QStringLiteral("%1 s ago").arg(since))
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
    QString text;
    text += QStringLiteral("station      %1, version %2, %3 mode, phase %4 (%5)\n")
                .arg(dir, s["version"].toString(), s["mode"].toString())
                .arg(s["phase"].toInt())
                .arg(QLatin1String(phaseName(s["phase"].toInt())));
    text += sync["sync_id"].isNull()
                ? QStringLiteral("sync         none\n")
                : QStringLiteral("sync         syncId %1 at %2\n"
                                 "             next resync %3%4\n")
                      .arg(sync["sync_id"].toInt())
                      .arg(timeText(sync["sync_second"]), timeText(sync["next_resync"]),
                           sync["reboot_at_resync"].toBool() ? QStringLiteral(", with reboot")
                                                             : QString());
    text += cameraText(QStringLiteral("A"), cameras["A"].toObject());
    text += cameraText(QStringLiteral("B"), cameras["B"].toObject());
    text += QStringLiteral("datafiles    %1 written, last %2\n")
                .arg(qint64(datafiles["written"].toDouble()))
                .arg(datafiles["last"].toString().isEmpty() ? QStringLiteral("-")
                                                            : datafiles["last"].toString());
    QJsonObject reboots = s["reboots"].toObject();
    text += QStringLiteral("resyncs      %1 (%2); reboots A %3, B %4\n")
                .arg(qint64(s["resyncs"].toObject()["total"].toDouble()))
                .arg(countsText(s["resyncs"].toObject()))
                .arg(qint64(reboots["A"].toDouble()))
                .arg(qint64(reboots["B"].toDouble()));
    text += QStringLiteral("errors       %1\n").arg(countsText(s["errors"].toObject()));
    text += QStringLiteral("messages\n");
    for (const QJsonValue& m : s["last_messages"].toArray())
        text += QStringLiteral("  %1\n").arg(m.toString());
    *out += text;
    return true;
}
