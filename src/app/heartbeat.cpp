#include "app/heartbeat.h"

#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/stationClock.h"

#include <cerrno>
#include <cstdio>

namespace {
const char* const HEARTBEAT_PART = "./check_kiv.txt.part";
const char* const HEARTBEAT_FILE = "./check_kiv.txt";
} // namespace

void heartbeat::write() {
    const QString part = QString::fromLatin1(HEARTBEAT_PART);
    const QString final = QString::fromLatin1(HEARTBEAT_FILE);
    // Something planted under the temporary name goes with the creation; told, since whoever
    // put it there should know it did not work.
    const char* removed = nullptr;
    bool made = false;
    const int error = fillFreshFile(
        part, "w",
        [&made](FILE* file) {
            made = true;
            return std::fprintf(file, "%110llu\n", (unsigned long long)currentSecond()) > 0 &&
                   std::fflush(file) == 0;
        },
        &removed);
    if (removed)
        logWarning(QStringLiteral("warning : heartbeat %1 was %2 -> removed")
                       .arg(part, QLatin1String(removed)));
    const int64_t now = monotonicSecond();
    if (error != 0) {
        if (made)
            (void)removeFile(part);
        if (failingSince == NO_HEARTBEAT) {
            logWarning(QStringLiteral("warning : heartbeat %1 not written : %2")
                           .arg(part, refusalText(error)));
            failingSince = now;
        }
        return;
    }
    if (failingSince != NO_HEARTBEAT)
        logInfo(
            QStringLiteral("info : heartbeat written again after %1 s").arg(now - failingSince));
    failingSince = NO_HEARTBEAT;
    // A heartbeat that stays is taken away by its reader before the next can get its name, so
    // a refused rename only skips this one. What is no file of the station's own under the
    // name is never renamed over: it stays until someone takes it away, told once.
    if (renameNoReplace(part, final))
        strangerTold = false;
    else {
        (void)removeFile(part);
        const char* stranger = strangerUnder(final);
        if (stranger && !strangerTold)
            logWarning(QStringLiteral("warning : heartbeat %1 is %2, no file of the station's "
                                      "own -> no heartbeat until it is taken away")
                           .arg(final, QLatin1String(stranger)));
        strangerTold = strangerTold || stranger;
    }
}

void heartbeat::step(int64_t tick) {
    if (tick <= last)
        return;
    last = tick;
    write();
}
