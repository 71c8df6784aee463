#include "status/stationHealth.h"

namespace {

const int KEPT_MESSAGES = 5;

const char* const PHASE_NAMES[PHASE_COUNT] = {"starting", "normalisation", "measurement_parameters",
                                              "measurement"};

const struct {
    const char* name;
    const char* meaning;
} CAMERA_STATES[CAMERA_STATE_COUNT] = {
    {"disconnected", "no connect file: placing it"},
    {"connected", "waiting for request.sync"},
    {"requested", "request.sync seen: waiting for the other camera"},
    {"normalising", "normalisation parameters sent: waiting for norm.success"},
    {"normalised", "normalised: waiting for the other camera"},
    {"measuring", "measurement parameters sent: measuring"},
};

} // namespace

const char* phaseName(int phase) {
    return phase >= 0 && phase < PHASE_COUNT ? PHASE_NAMES[phase] : "unknown";
}

const char* cameraStateName(int state) {
    return state >= 0 && state < CAMERA_STATE_COUNT ? CAMERA_STATES[state].name : "unknown";
}

const char* cameraStateMeaning(int state) {
    return state >= 0 && state < CAMERA_STATE_COUNT ? CAMERA_STATES[state].meaning : "unknown";
}

void stationHealth::setPhase(int value, int64_t now) {
    if (value != phase)
        phaseSince = now;
    phase = value;
}

void stationHealth::setCameraState(int cameraIndex, int value, int64_t now) {
    cameraHealth& c = camera[cameraIndex];
    if (value != c.state)
        c.stateSince = now;
    c.state = value;
}

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
