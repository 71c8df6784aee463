#include "status/healthFiles.h"

#include "platform/fileOps.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "status/statusScreen.h"
#include "sync/timeConv.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const STATUS_FILE = "acquire_kiv.status.json";
const char* const METRICS_FILE = "acquire_kiv.prom";

QString utcIso(int64_t t) {
    return QDateTime::fromSecsSinceEpoch(t, Qt::UTC).toString(Qt::ISODate);
}

QString localIso(int64_t t) {
    return QDateTime::fromSecsSinceEpoch(t, Qt::OffsetFromUTC, int(localOffset(t)))
        .toString(Qt::ISODate);
}

QJsonObject timeObject(int64_t t) {
    QJsonObject o;
    o["seconds"] = double(t);
    o["utc"] = utcIso(t);
    o["local"] = localIso(t);
    return o;
}

int64_t secondsSince(int64_t then, int64_t now) {
    return then > 0 ? now - then : -1;
}

QJsonObject cameraObject(const cameraHealth& c, int64_t now) {
    QJsonObject o;
    o["state"] = c.state;
    o["frames_read"] = double(c.framesRead);
    o["frames_written"] = double(c.framesWritten);
    o["files_processed"] = double(c.filesProcessed);
    o["last_file_name"] = c.lastFileName;
    o["last_file_size"] = double(c.lastFileSize);
    o["last_file_time"] = c.lastFileTime > 0 ? QJsonValue(utcIso(c.lastFileTime)) : QJsonValue();
    o["seconds_since_last_data"] = double(secondsSince(c.lastDataTime, now));
    o["reboots"] = double(c.reboots);
    return o;
}

// One metric with its help and type lines.
class metricsText {
public:
    void family(const char* name, const char* type, const char* help) {
        m_text += QStringLiteral("# HELP acquire_kiv_%1 %2\n# TYPE acquire_kiv_%1 %3\n")
                      .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type))
                      .toUtf8();
    }
    void sample(const char* name, const QString& labels, double value) {
        m_text += QByteArray("acquire_kiv_") + name;
        if (!labels.isEmpty())
            m_text += "{" + labels.toUtf8() + "}";
        m_text += " " + QByteArray::number(value, 'g', 15) + "\n";
    }
    const QByteArray& text() const { return m_text; }

private:
    QByteArray m_text;
};

QString cameraLabel(int i) {
    return QStringLiteral("camera=\"%1\"").arg(QLatin1Char(i == 0 ? 'A' : 'B'));
}

} // namespace

QByteArray renderStatusJson(const stationHealth& h, int64_t now) {
    QJsonObject root;
    root["version"] = QLatin1String(PROGRAM_VERSION);
    root["mode"] = h.mode;
    root["phase"] = h.phase;
    QJsonObject sync;
    sync["sync_id"] = h.syncId >= 0 ? QJsonValue(h.syncId) : QJsonValue();
    sync["sync_second"] = h.syncId >= 0 ? QJsonValue(timeObject(h.syncSecond)) : QJsonValue();
    sync["next_resync"] = h.syncId >= 0 ? QJsonValue(timeObject(h.resyncSecond)) : QJsonValue();
    sync["reboot_at_resync"] = h.rebootFlag;
    root["sync"] = sync;
    QJsonObject cameras;
    cameras["A"] = cameraObject(h.camera[0], now);
    cameras["B"] = cameraObject(h.camera[1], now);
    root["cameras"] = cameras;
    QJsonObject datafiles;
    datafiles["written"] = double(h.datafilesWritten);
    datafiles["last"] = h.lastDatafile;
    root["datafiles"] = datafiles;
    QJsonObject resyncs;
    uint64_t total = 0;
    for (int r = 0; r < RESYNC_REASONS; ++r) {
        resyncs[QLatin1String(resyncReasonName(r))] = double(h.resyncs[r]);
        total += h.resyncs[r];
    }
    resyncs["total"] = double(total);
    root["resyncs"] = resyncs;
    QJsonObject reboots;
    reboots["A"] = double(h.camera[0].reboots);
    reboots["B"] = double(h.camera[1].reboots);
    root["reboots"] = reboots;
    QJsonObject errors;
    for (const auto& e : h.errors)
        errors[e.first] = double(e.second);
    root["errors"] = errors;
    root["last_messages"] = QJsonArray::fromStringList(h.lastMessages);
    root["health_write_failures"] = double(h.healthWriteFailures);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray renderMetrics(const stationHealth& h, int64_t now) {
    metricsText m;
    m.family("up", "gauge", "1 while the controller runs.");
    m.sample("up", QString(), 1);
    m.family("phase", "gauge",
             "Run phase: 1 normalisation, 2 measurement parameters, 3 measurement.");
    m.sample("phase", QString(), h.phase);
    m.family("camera_state", "gauge",
             "Handshake state of each camera, 0 (not connected) to 5 (measuring).");
    for (int i = 0; i < 2; ++i)
        m.sample("camera_state", cameraLabel(i), h.camera[i].state);
    m.family("frames_total", "counter",
             "Frames with image data read from the camera's transfer files.");
    for (int i = 0; i < 2; ++i)
        m.sample("frames_total", cameraLabel(i), double(h.camera[i].framesRead));
    m.family("frames_written_total", "counter", "Frames of the camera written into datafiles.");
    for (int i = 0; i < 2; ++i)
        m.sample("frames_written_total", cameraLabel(i), double(h.camera[i].framesWritten));
    m.family("files_processed_total", "counter", "Files of the camera handled.");
    for (int i = 0; i < 2; ++i)
        m.sample("files_processed_total", cameraLabel(i), double(h.camera[i].filesProcessed));
    m.family("seconds_since_last_data", "gauge",
             "Seconds since a poll last found files of the camera (-1: never).");
    for (int i = 0; i < 2; ++i)
        m.sample("seconds_since_last_data", cameraLabel(i),
                 double(secondsSince(h.camera[i].lastDataTime, now)));
    m.family("reboots_total", "counter", "Reboot commands sent to the camera.");
    for (int i = 0; i < 2; ++i)
        m.sample("reboots_total", cameraLabel(i), double(h.camera[i].reboots));
    m.family("datafiles_written_total", "counter", "Datafiles written.");
    m.sample("datafiles_written_total", QString(), double(h.datafilesWritten));
    m.family("last_datafile_timestamp_seconds", "gauge",
             "UTC start of the last datafile's interval (0: none yet).");
    m.sample("last_datafile_timestamp_seconds", QString(), double(h.lastDatafileInterval));
    m.family("resyncs_total", "counter", "Measurements ended by a resync, by reason.");
    for (int r = 0; r < RESYNC_REASONS; ++r)
        m.sample("resyncs_total",
                 QStringLiteral("reason=\"%1\"").arg(QLatin1String(resyncReasonName(r))),
                 double(h.resyncs[r]));
    m.family("errors_total", "counter", "Error lines of the message log, by kind.");
    for (const auto& e : h.errors)
        m.sample("errors_total", QStringLiteral("kind=\"%1\"").arg(e.first), double(e.second));
    m.family("sync_id", "gauge", "Current syncId (-1: none).");
    m.sample("sync_id", QString(), h.syncId);
    m.family("sync_timestamp_seconds", "gauge",
             "UTC second of the current synchronisation (0: none).");
    m.sample("sync_timestamp_seconds", QString(), double(h.syncId >= 0 ? h.syncSecond : 0));
    m.family("health_write_failures_total", "counter", "Failed writes of the health files.");
    m.sample("health_write_failures_total", QString(), double(h.healthWriteFailures));
    return m.text();
}

healthFiles::healthFiles(const QString& directory) : m_directory(directory) {}

bool healthFiles::writeIfChanged(const QString& name, const QByteArray& content, QByteArray* last) {
    if (content == *last)
        return true;
    QString path = joinPath(m_directory, name);
    QString temp = path + QStringLiteral(".tmp");
    FILE* file = openFile(temp, "wb");
    if (!file)
        return false;
    bool ok = writeFile(file, content.constData(), size_t(content.size()), temp) ==
              size_t(content.size());
    ok = std::fclose(file) == 0 && ok;
    if (!ok || !replaceFile(temp, path)) {
        removeFile(temp);
        return false;
    }
    *last = content;
    return true;
}

void healthFiles::publish(stationHealth* health, int64_t now, bool force) {
    // At most once a second of the monotonic clock: a wall clock stepped back must not stop
    // the updates.
    const int64_t tick = monotonicSecond();
    if (tick <= m_lastWrite && !force)
        return;
    m_lastWrite = tick;
    // The metrics may count this failure only in the next write.
    if (!writeIfChanged(QLatin1String(STATUS_FILE), renderStatusJson(*health, now), &m_lastStatus))
        ++health->healthWriteFailures;
    if (!writeIfChanged(QLatin1String(METRICS_FILE), renderMetrics(*health, now), &m_lastMetrics))
        ++health->healthWriteFailures;
}
