#include "app/startupReport.h"

#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/stationPath.h"
#include "platform/timeSync.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

const char* const CONFIGURATION_FILES[] = {"acquire_kiv.set", "acquire.par", "camera.a.conf",
                                           "camera.b.conf"};

// One directory the station works in, as it is in effect, and as an error when it cannot be
// written, because then its files (or a camera's) go nowhere. A missing one is the watch's. A
// camera share is not asked here: a share that hangs would hold the start-up, and one that
// refuses writes tells at the first command the station puts there.
void reportDirectory(const stationDirectory& d) {
    const QLatin1String role(d.role);
    logInfo(QStringLiteral("info : %1 : %2").arg(role, d.path));
    if (!d.share && directoryExists(d.path) && access(nativePath(d.path).constData(), W_OK) != 0)
        logError(errorKind::configuration,
                 QStringLiteral("error : %1 %2 is not writable").arg(role, d.path));
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

void reportConfigurationLinks(const QString& stationDir, const QString& configDir) {
    // A station folder of its own, with none of its files linked there, is no concern.
    bool linked = false;
    for (const char* name : CONFIGURATION_FILES) {
        const QFileInfo own(joinPath(stationDir, QLatin1String(name)));
        linked = linked || (own.isSymLink() && QFileInfo(own.symLinkTarget()).absolutePath() ==
                                                   QFileInfo(configDir).absoluteFilePath());
    }
    if (!linked)
        return;
    for (const char* name : CONFIGURATION_FILES) {
        const QString own = joinPath(stationDir, QLatin1String(name));
        const QString shared = joinPath(configDir, QLatin1String(name));
        if (fileExists(own) && !QFileInfo(own).isSymLink() && fileExists(shared))
            logWarning(QStringLiteral("warning : %1 is a file of its own, not the link to %2: "
                                      "edits there do not count")
                           .arg(own, shared));
    }
}

void reportStartup(stationObjects& station, const char* configPath, directoryWatch* directories) {
    const QString config = QString::fromLocal8Bit(configPath);
    if (fileExists(config))
        logInfo(QStringLiteral("info : station configuration %1 read").arg(config));
    else
        logWarning(QStringLiteral("warning : station configuration %1 not found -> the default "
                                  "directories are in force")
                       .arg(config));
    reportConfigurationLinks(QFileInfo(config).absolutePath(), QLatin1String(PACKAGE_CONFIG_DIR));
    for (const stationDirectory& d : stationDirectories(station))
        reportDirectory(d);
    directories->look();
    reportClock();
}
