#include "app/resyncReason.h"

#include "config/camera.h"
#include "log/messageLog.h"

int resyncReasonOf(const resyncCause& cause) {
    return cause.rebootRequest                  ? RESYNC_REBOOT_REQUEST
           : cause.silent[0] || cause.silent[1] ? RESYNC_SILENCE
           : cause.disconnected                 ? RESYNC_DISCONNECT
           : cause.clockStepped                 ? RESYNC_CLOCK_STEP
                                                : RESYNC_FULL_HOUR;
}

void tellResyncReason(const resyncCause& cause) {
    switch (resyncReasonOf(cause)) {
    case RESYNC_REBOOT_REQUEST:
        return;
    case RESYNC_CLOCK_STEP:
        logWarning(QStringLiteral("warning : resync : the station clock stepped"));
        return;
    case RESYNC_FULL_HOUR:
        logInfo(QStringLiteral("info : resync : full hour"));
        return;
    default:
        break;
    }
    for (cam camera : BOTH_CAMERAS) {
        const int i = camIndex(camera);
        const QChar letter = QLatin1Char(camLetter(camera));
        if (cause.silent[i])
            logWarning(QStringLiteral("warning : resync : camera %1 silent for %2 s")
                           .arg(letter)
                           .arg(cause.silentFor[i]));
        else if (cause.lost[i])
            logWarning(QStringLiteral("warning : resync : camera %1 disconnected").arg(letter));
    }
}
