#include "status/healthFiles.h"

#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "status/statusScreen.h"
#include "sync/timeConv.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/statvfs.h>
#include <unistd.h>

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

// A time that may not have happened yet (0): null.
QJsonValue timeOrNull(int64_t t) {
    return t > 0 ? QJsonValue(timeObject(t)) : QJsonValue();
}

QJsonValue bytesOrNull(int64_t bytes) {
    return bytes >= 0 ? QJsonValue(double(bytes)) : QJsonValue();
}

// A "since" of 0 is the start of the run.
int64_t sinceOr(int64_t since, const stationHealth& h) {
    return since > 0 ? since : h.startTime;
}

QJsonObject cameraObject(const cameraHealth& c, const stationHealth& h) {
    QJsonObject o;
    o["state"] = c.state;
    o["state_name"] = QLatin1String(cameraStateName(c.state));
    o["state_since"] = timeObject(sinceOr(c.stateSince, h));
    o["frames_read"] = double(c.framesRead);
    o["frames_written"] = double(c.framesWritten);
    o["files_processed"] = double(c.filesProcessed);
    o["last_file_name"] = c.lastFileName;
    o["last_file_size"] = double(c.lastFileSize);
    o["last_file_time"] = c.lastFileTime > 0 ? QJsonValue(utcIso(c.lastFileTime)) : QJsonValue();
    o["last_data"] = timeOrNull(c.lastDataTime);
    o["reboots"] = double(c.reboots);
    o["stalls"] = double(c.stalls);
    o["share_stalled"] = c.stalled;
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
    // A family of one sample without labels.
    void single(const char* name, const char* type, const char* help, double value) {
        family(name, type, help);
        sample(name, QString(), value);
    }
    // A family of one sample per camera.
    void perCamera(const char* name, const char* type, const char* help, double a, double b) {
        family(name, type, help);
        sample(name, QStringLiteral("camera=\"A\""), a);
        sample(name, QStringLiteral("camera=\"B\""), b);
    }
    const QByteArray& text() const { return m_text; }

private:
    QByteArray m_text;
};

// The metrics with one sample per camera.
const struct cameraFamily {
    const char* name;
    const char* type;
    const char* help;
    double (*value)(const cameraHealth&);
} CAMERA_FAMILIES[] = {
    {"camera_state", "gauge",
     "Handshake state of each camera, 0 (not connected) to 5 (measuring); kept for one release "
     "beside acquire_kiv_camera_handshake_state.",
     [](const cameraHealth& c) { return double(c.state); }},
    {"frames_total", "counter", "Frames with image data read from the camera's transfer files.",
     [](const cameraHealth& c) { return double(c.framesRead); }},
    {"frames_written_total", "counter", "Frames of the camera written into datafiles.",
     [](const cameraHealth& c) { return double(c.framesWritten); }},
    {"files_processed_total", "counter", "Files of the camera handled.",
     [](const cameraHealth& c) { return double(c.filesProcessed); }},
    {"last_data_timestamp_seconds", "gauge",
     "UTC second a poll last found files of the camera (0: none this run).",
     [](const cameraHealth& c) { return double(c.lastDataTime); }},
    {"reboots_total", "counter", "Reboot commands sent to the camera.",
     [](const cameraHealth& c) { return double(c.reboots); }},
    {"stalls_total", "counter",
     "Operations on the camera's share that got no answer within the bound (each stall once).",
     [](const cameraHealth& c) { return double(c.stalls); }},
    {"share_stalled", "gauge", "1 while the camera's share is not answering.",
     [](const cameraHealth& c) { return c.stalled ? 1.0 : 0.0; }},
};

const char* errorName(int kind) {
    return errorKindName(errorKind(kind));
}

} // namespace

healthSample takeHealthSample(const stationHealth& health, int64_t now) {
    healthSample s;
    s.updated = now;
    struct statvfs fs;
    if (!health.datafileDirectory.isEmpty() &&
        statvfs(QFile::encodeName(health.datafileDirectory).constData(), &fs) == 0) {
        s.diskFree = int64_t(fs.f_bavail) * int64_t(fs.f_frsize);
        s.diskSize = int64_t(fs.f_blocks) * int64_t(fs.f_frsize);
    }
    s.timeSync = readTimeSync();
    return s;
}

QByteArray renderStatusJson(const stationHealth& h, const healthSample& sample) {
    QJsonObject root;
    root["schema"] = HEALTH_SCHEMA;
    root["updated"] = timeObject(sample.updated);
    root["pid"] = double(getpid());
    root["running"] = h.running;
    root["started"] = timeObject(h.startTime);
    root["version"] = QLatin1String(PROGRAM_VERSION);
    root["mode"] = h.mode;
    root["phase"] = h.phase;
    root["phase_name"] = QLatin1String(phaseName(h.phase));
    root["phase_since"] = timeObject(sinceOr(h.phaseSince, h));
    QJsonObject configuration;
    configuration["usable"] = h.missingDirectories.isEmpty();
    configuration["missing_directories"] = QJsonArray::fromStringList(h.missingDirectories);
    root["configuration"] = configuration;
    QJsonObject sync;
    sync["sync_id"] = h.syncId >= 0 ? QJsonValue(h.syncId) : QJsonValue();
    sync["sync_second"] = h.syncId >= 0 ? QJsonValue(timeObject(h.syncSecond)) : QJsonValue();
    sync["next_resync"] = h.syncId >= 0 ? QJsonValue(timeObject(h.resyncSecond)) : QJsonValue();
    sync["reboot_at_resync"] = h.rebootFlag;
    root["sync"] = sync;
    QJsonObject cameras;
    cameras["A"] = cameraObject(h.camera[0], h);
    cameras["B"] = cameraObject(h.camera[1], h);
    root["cameras"] = cameras;
    QJsonObject datafiles;
    datafiles["written"] = double(h.datafilesWritten);
    datafiles["last"] = h.lastDatafile;
    datafiles["last_interval"] = timeOrNull(h.lastDatafileInterval);
    datafiles["intervals_lost"] = double(h.intervalsLost);
    datafiles["directory"] = h.datafileDirectory;
    datafiles["disk_free_bytes"] = bytesOrNull(sample.diskFree);
    datafiles["disk_size_bytes"] = bytesOrNull(sample.diskSize);
    root["datafiles"] = datafiles;
    QJsonObject clock;
    clock["known"] = sample.timeSync.known;
    clock["synchronised"] = sample.timeSync.synchronised;
    clock["estimated_error_seconds"] = sample.timeSync.estimatedError;
    clock["maximum_error_seconds"] = sample.timeSync.maximumError;
    root["time_sync"] = clock;
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
    for (int k = int(errorKind::none) + 1; k < ERROR_KINDS; ++k)
        errors[QLatin1String(errorName(k))] = double(h.errors[k]);
    root["errors"] = errors;
    root["last_messages"] = QJsonArray::fromStringList(h.lastMessages);
    root["health_write_failures"] = double(h.healthWriteFailures);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QByteArray renderMetrics(const stationHealth& h, const healthSample& sample) {
    metricsText m;
    m.single("up", "gauge", "1 while the controller runs, 0 once it ended.", h.running ? 1 : 0);
    m.family("build_info", "gauge", "Always 1; the program version is its label.");
    m.sample("build_info", QStringLiteral("version=\"%1\"").arg(QLatin1String(PROGRAM_VERSION)), 1);
    m.single("start_time_seconds", "gauge", "UTC second the run started.", double(h.startTime));
    m.single("last_update_timestamp_seconds", "gauge",
             "UTC second this file was written; rewritten at least every 10 s while running.",
             double(sample.updated));
    m.single("configuration_usable", "gauge",
             "1 while every configured directory exists, 0 while one is missing.",
             h.missingDirectories.isEmpty() ? 1 : 0);
    // The states as state sets: one sample per state, 1 for the one in force.
    m.family("run_phase", "gauge", "1 for the run's current phase, 0 for the others.");
    for (int p = 0; p < PHASE_COUNT; ++p)
        m.sample("run_phase", QStringLiteral("phase=\"%1\"").arg(QLatin1String(phaseName(p))),
                 p == h.phase ? 1 : 0);
    m.family("camera_handshake_state", "gauge",
             "1 for the camera's current handshake state, 0 for the others.");
    for (int c = 0; c < 2; ++c)
        for (int st = 0; st < CAMERA_STATE_COUNT; ++st)
            m.sample("camera_handshake_state",
                     QStringLiteral("camera=\"%1\",state=\"%2\"")
                         .arg(QLatin1Char(c == 0 ? 'A' : 'B'))
                         .arg(QLatin1String(cameraStateName(st))),
                     st == h.camera[c].state ? 1 : 0);
    m.single("phase", "gauge",
             "Run phase: 1 normalisation, 2 measurement parameters, 3 measurement; kept for one "
             "release beside acquire_kiv_run_phase.",
             h.phase);
    for (const cameraFamily& f : CAMERA_FAMILIES)
        m.perCamera(f.name, f.type, f.help, f.value(h.camera[0]), f.value(h.camera[1]));
    m.single("datafiles_written_total", "counter", "Datafiles written.",
             double(h.datafilesWritten));
    m.single("last_datafile_timestamp_seconds", "gauge",
             "UTC start of the last datafile's interval (0: none yet).",
             double(h.lastDatafileInterval));
    m.single("intervals_lost_total", "counter",
             "Intervals with paired frames whose datafile could not be written.",
             double(h.intervalsLost));
    // Not known (no datafile directory yet, or it cannot be read): no sample rather than a
    // made-up number.
    if (sample.diskSize >= 0) {
        m.single("datafile_disk_free_bytes", "gauge",
                 "Bytes the controller may still write on the datafile directory's file system.",
                 double(sample.diskFree));
        m.single("datafile_disk_size_bytes", "gauge",
                 "Size of the datafile directory's file system in bytes.", double(sample.diskSize));
    }
    // A clock whose state the kernel does not tell is reported unsynchronised.
    m.single("clock_synchronised", "gauge",
             "1 while the kernel has the wall clock synchronised, else 0.",
             sample.timeSync.synchronised ? 1 : 0);
    if (sample.timeSync.known) {
        m.single("clock_estimated_error_seconds", "gauge",
                 "The kernel's estimate of the wall clock's error.",
                 sample.timeSync.estimatedError);
        m.single("clock_maximum_error_seconds", "gauge",
                 "The kernel's bound on the wall clock's error.", sample.timeSync.maximumError);
    }
    m.family("resyncs_total", "counter", "Measurements ended by a resync, by reason.");
    for (int r = 0; r < RESYNC_REASONS; ++r)
        m.sample("resyncs_total",
                 QStringLiteral("reason=\"%1\"").arg(QLatin1String(resyncReasonName(r))),
                 double(h.resyncs[r]));
    m.family("errors_total", "counter", "Error lines of the message log, by kind.");
    for (int k = int(errorKind::none) + 1; k < ERROR_KINDS; ++k)
        m.sample("errors_total", QStringLiteral("kind=\"%1\"").arg(QLatin1String(errorName(k))),
                 double(h.errors[k]));
    m.single("sync_id", "gauge", "Current syncId (-1: none).", h.syncId);
    m.single("sync_timestamp_seconds", "gauge",
             "UTC second of the current synchronisation (0: none).",
             double(h.syncId >= 0 ? h.syncSecond : 0));
    m.single("health_write_failures_total", "counter", "Failed writes of the health files.",
             double(h.healthWriteFailures));
    return m.text();
}

healthFiles::healthFiles(const QString& directory) : m_directory(directory) {}

int healthFiles::replaceWith(const QString& name, const QByteArray& content, QString* failed) {
    QString path = joinPath(m_directory, name);
    QString temp = path + QStringLiteral(".tmp");
    // Something planted under either name goes: under the temporary one with the creation,
    // under the final one with the rename, which replaces a link itself, never its target.
    const char* removed = nullptr;
    *failed = temp;
    bool made = false;
    int error = fillFreshFile(
        temp, "wb",
        [&](FILE* file) {
            made = true;
            return writeFile(file, content.constData(), size_t(content.size()), temp) ==
                   size_t(content.size());
        },
        &removed);
    if (removed)
        logWarning(QStringLiteral("warning : health file %1 was %2 -> removed")
                       .arg(temp, QLatin1String(removed)));
    if (!made)
        return error;
    const char* replaced = strangerUnder(path);
    if (replaced && !isOwnDirectory(path))
        logWarning(QStringLiteral("warning : health file %1 was %2 -> replaced")
                       .arg(path, QLatin1String(replaced)));
    if (error == 0) {
        const fileResult<> replaced = replaceFile(temp, path);
        if (!replaced) {
            error = replaced.error;
            *failed = path;
        }
    }
    if (error != 0)
        (void)removeFile(temp);
    return error;
}

void healthFiles::publish(stationHealth* health, int64_t now, bool force) {
    // Timed on the monotonic clock: a wall clock stepped back must not stop the updates.
    const int64_t tick = monotonicSecond();
    if (tick <= m_lastWrite && !force)
        return;
    // The status file holds all that the metrics say and more; rendered without its sample it
    // changes only when the station's health did.
    const QByteArray content = renderStatusJson(*health, healthSample());
    const bool due = m_lastWrite == INT64_MIN || tick - m_lastWrite >= HEALTH_REFRESH_S;
    if (!force && !due && content == m_lastContent)
        return;
    m_lastWrite = tick;
    const healthSample sample = takeHealthSample(*health, now);
    // A failure is counted in the next write; the content that failed is tried again on the
    // next change or refresh.
    int failures = 0;
    for (const bool status : {true, false}) {
        QString failed;
        const int error = status ? replaceWith(QLatin1String(STATUS_FILE),
                                               renderStatusJson(*health, sample), &failed)
                                 : replaceWith(QLatin1String(METRICS_FILE),
                                               renderMetrics(*health, sample), &failed);
        if (error == 0)
            continue;
        ++failures;
        if (m_failingSince == INT64_MIN) {
            logWarning(QStringLiteral("warning : health file %1 not written : %2")
                           .arg(failed, refusalText(error)));
            m_failingSince = tick;
        }
    }
    health->healthWriteFailures += uint64_t(failures);
    if (failures == 0 && m_failingSince != INT64_MIN) {
        logInfo(QStringLiteral("info : health files written again after %1 s")
                    .arg(tick - m_failingSince));
        m_failingSince = INT64_MIN;
    }
    if (failures == 0)
        m_lastContent = content;
}
