#include "kiv_inspect/deliveredFileSummary.h"

#include "input/videoSnapshot.h"
#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inputFile.h"

#include <QList>

videoLineStats videoStats(const uint8_t* line) {
    videoLineStats s{255, 0, 0.0, 0};
    int64_t sum = 0;
    for (int i = 0; i < VIDEO_LINE_SIZE; ++i) {
        s.minimum = std::min(s.minimum, int(line[i]));
        s.maximum = std::max(s.maximum, int(line[i]));
        s.nonZero += line[i] != 0;
        sum += line[i];
    }
    s.mean = double(sum) / VIDEO_LINE_SIZE;
    return s;
}

QString videoStatsText(const videoLineStats& s) {
    return QStringLiteral("min %1, max %2, mean %3, %4 of 1200 bytes above 0")
        .arg(s.minimum)
        .arg(s.maximum)
        .arg(s.mean, 0, 'f', 1)
        .arg(s.nonZero);
}

QJsonObject videoStatsJson(const videoLineStats& s) {
    QJsonObject o;
    o["min"] = s.minimum;
    o["max"] = s.maximum;
    o["mean"] = s.mean;
    o["non_zero"] = s.nonZero;
    return o;
}

namespace {

QString cameraName(int camera) {
    return camera == 1 ? QStringLiteral("A") : QStringLiteral("B");
}

} // namespace

normVideoReport inspectNormVideoFile(const QString& path, int camera) {
    normVideoReport r;
    r.name = baseName(path);
    r.camera = camera;
    // A snapshot of its own: the inspector must not touch the station's video.dat.
    videoSnapshot snapshot;
    r.readable = snapshot.readVideoLineFile(path, camera);
    r.raw = videoStats(snapshot.rawLine(camera));
    r.norm = videoStats(snapshot.normLine(camera));
    return r;
}

QString normVideoSummaryText(const normVideoReport& r) {
    QString text =
        QStringLiteral("norm-video file %1, camera %2\n").arg(r.name, cameraName(r.camera));
    if (!r.readable)
        return text + summaryLine("verdict", QStringLiteral("DAMAGED: not a count line followed "
                                                            "by lines of six values"));
    text += summaryLine("raw video line", videoStatsText(r.raw));
    text += summaryLine("norm video line", videoStatsText(r.norm));
    return text + summaryLine("verdict", QStringLiteral("readable"));
}

QJsonObject normVideoSummaryJson(const normVideoReport& r) {
    QJsonObject o;
    o["kind"] = "norm_video_file";
    o["file"] = r.name;
    o["camera"] = cameraName(r.camera);
    o["readable"] = r.readable;
    if (r.readable) {
        o["raw_video"] = videoStatsJson(r.raw);
        o["norm_video"] = videoStatsJson(r.norm);
    }
    return o;
}

cameraLogReport inspectCameraLogFile(const QString& name, int camera, const QByteArray& bytes) {
    cameraLogReport r;
    r.name = name;
    r.camera = camera;
    r.bytes = bytes.size();
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    r.lines = lines.size();
    if (!lines.isEmpty()) {
        r.firstLine = QString::fromLocal8Bit(lines.first()).trimmed();
        r.lastLine = QString::fromLocal8Bit(lines.last()).trimmed();
    }
    return r;
}

QString cameraLogSummaryText(const cameraLogReport& r) {
    QString text =
        QStringLiteral("camera log file %1, camera %2\n").arg(r.name, cameraName(r.camera));
    text += summaryLine("size", QStringLiteral("%1 bytes, %2 lines").arg(r.bytes).arg(r.lines));
    if (r.lines > 0) {
        text += summaryLine("first line", r.firstLine);
        text += summaryLine("last line", r.lastLine);
    }
    return text;
}

QJsonObject cameraLogSummaryJson(const cameraLogReport& r) {
    QJsonObject o;
    o["kind"] = "camera_log";
    o["file"] = r.name;
    o["camera"] = cameraName(r.camera);
    o["bytes"] = qint64(r.bytes);
    o["lines"] = qint64(r.lines);
    o["first_line"] = r.firstLine;
    o["last_line"] = r.lastLine;
    return o;
}
