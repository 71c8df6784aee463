#include "status/stationHealth.h"

namespace {

const int KEPT_MESSAGES = 5;

} // namespace

const char* resyncReasonName(int reason) {
    switch (reason) {
    case RESYNC_SILENCE:
        return "silence";
    case RESYNC_DISCONNECT:
        return "disconnect";
    case RESYNC_FULL_HOUR:
        return "full_hour";
    case RESYNC_REBOOT_REQUEST:
        return "reboot_request";
    case RESYNC_FAILED_PUSH:
        return "failed_push";
    case RESYNC_CLOCK_STEP:
        return "clock_step";
    default:
        return "unknown";
    }
}

void stationHealth::noteMessage(const logEntry& entry) {
    if (entry.kind != errorKind::none)
        ++errors[int(entry.kind)];
    // The newest messages are those of the screen; standard-error lines are only counted.
    if (entry.channel != logChannel::messages)
        return;
    lastMessages.append(entry.text);
    while (lastMessages.size() > KEPT_MESSAGES)
        lastMessages.removeFirst();
}
