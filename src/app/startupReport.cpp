#include "app/startupReport.h"

#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/timeSync.h"

#include <unistd.h>

namespace {

// One directory the station works in: told as it is in effect, and as an error when it is
// not there or cannot be written, because then its files (or a camera's) go nowhere.
void reportDirectory(const char* what, const QString& path) {
    logInfo(QStringLiteral("info : %1 : %2").arg(QLatin1String(what), path));
    if (!directoryExists(path))
        logError(errorKind::configuration,
                 QStringLiteral("error : %1 %2 does not exist").arg(QLatin1String(what), path));
    else if (access(nativePath(path).constData(), W_OK) != 0)
        logError(errorKind::configuration,
                 QStringLiteral("error : %1 %2 is not writable").arg(QLatin1String(what), path));
}

void reportClock() {
    const timeSyncState clock = readTimeSync();
    if (!clock.known)
        return;
    if (clock.synchronised)
        logInfo(QStringLiteral("info : the station clock is synchronised (estimated error %1 s)")
                    .arg(clock.estimatedError, 0, 'f', 3));
    else
        logWarning(QStringLiteral("warning : the station clock is not synchronised (maximum "
                                  "error %1 s): datafile names and sync times may be off")
                       .arg(clock.maximumError, 0, 'f', 1));
}

} // namespace

void reportStartup(const stationObjects& station, const char* configPath) {
    const QString config = QString::fromLocal8Bit(configPath);
    if (fileExists(config))
        logInfo(QStringLiteral("info : station configuration %1 read").arg(config));
    else
        logWarning(QStringLiteral("warning : station configuration %1 not found -> the default "
                                  "directories are in force")
                       .arg(config));
    reportDirectory("camera A input directory", station.cameraA->inputDir());
    reportDirectory("camera A control directory", station.cameraA->controlDir());
    reportDirectory("camera B input directory", station.cameraB->inputDir());
    reportDirectory("camera B control directory", station.cameraB->controlDir());
    reportDirectory("working directory", station.cameraA->workDir());
    reportDirectory("datafile directory", station.writer->outputDirectory());
    reportDirectory("sync list directory", station.syncs->directory());
    reportDirectory("log directory", logDirectory::instance()->path());
    reportDirectory("video snapshot directory", videoSnapshot::instance().directory());
    reportClock();
}
