#include "kiv_inspect/fileKind.h"

#include "kiv_inspect/syncListFile.h"

#include <QRegularExpression>

namespace {

bool endsWithEither(const QString& name, const char* a, const char* b) {
    return name.endsWith(QLatin1String(a)) || name.endsWith(QLatin1String(b));
}

// The first word of video.dat: the label of camera A's raw video line.
const char* const VIDEO_DAT_START = "raw_video_A";

} // namespace

fileKind kindOfFile(const QString& name, const QByteArray& head) {
    static const QRegularExpression dailyLog(QStringLiteral("^v\\d{5}_1\\.[ab]\\.log$"));
    if (endsWithEither(name, ".norm.a.cam", ".norm.b.cam"))
        return KIND_NORM_VIDEO;
    if (endsWithEither(name, ".log.a.cam", ".log.b.cam") || dailyLog.match(name).hasMatch())
        return KIND_CAMERA_LOG;
    if (endsWithEither(name, ".a.cam", ".b.cam"))
        return KIND_TRANSFER;
    if (isSyncListName(name))
        return KIND_SYNC_LIST;
    if (name == QLatin1String("video.dat") || head.startsWith(VIDEO_DAT_START))
        return KIND_VIDEO_DAT;
    return KIND_DATAFILE;
}

const char* kindName(fileKind kind) {
    switch (kind) {
    case KIND_DATAFILE:
        return "datafile";
    case KIND_TRANSFER:
        return "transfer file";
    case KIND_NORM_VIDEO:
        return "norm-video file";
    case KIND_CAMERA_LOG:
        return "camera log";
    case KIND_SYNC_LIST:
        return "sync list";
    case KIND_VIDEO_DAT:
        return "video.dat";
    }
    return "?";
}

int cameraOfFile(const QString& name) {
    return endsWithEither(name, ".a.cam", ".a.log") ? 1 : 2;
}
