#include "app/heartbeat.h"

#include "platform/fileOps.h"
#include "platform/stationClock.h"

#include <cstdio>

namespace {
const char* const HEARTBEAT_PART = "./check_kiv.txt.part";
const char* const HEARTBEAT_FILE = "./check_kiv.txt";
} // namespace

void writeHeartbeat() {
    const QString part = QString::fromLatin1(HEARTBEAT_PART);
    FILE* file = openFile(part, "w");
    if (!file)
        return;
    bool written = std::fprintf(file, "%110llu\n", (unsigned long long)currentSecond()) > 0;
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    // A heartbeat cut short is no heartbeat; one that stays is taken away by its reader before
    // the next can get its name, so a refused rename only skips this one.
    if (!written || !renameNoReplace(part, QString::fromLatin1(HEARTBEAT_FILE)))
        (void)removeFile(part);
}

void heartbeatStep(int64_t tick, int64_t* lastHeartbeat) {
    if (tick <= *lastHeartbeat)
        return;
    *lastHeartbeat = tick;
    writeHeartbeat();
}
