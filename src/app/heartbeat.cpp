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
    std::fprintf(file, "%110llu\n", (unsigned long long)currentSecond());
    std::fflush(file);
    std::fclose(file);
    if (!renameNoReplace(part, QString::fromLatin1(HEARTBEAT_FILE)))
        removeFile(part);
}

void heartbeatStep(int64_t cycleSecond, int64_t* lastHeartbeat) {
    if (cycleSecond <= *lastHeartbeat)
        return;
    *lastHeartbeat = cycleSecond;
    writeHeartbeat();
}
