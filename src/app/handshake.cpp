#include "app/handshake.h"

#include "control/controlFiles.h"

namespace {

// One step of a camera: in state `from`, once `ready` answers true (it may act, as connecting
// does), `done` runs and the camera moves to `to`. `again`: the new state is looked at in the
// same cycle.
struct handshakeTransition {
    handshakeState from;
    bool (*ready)(const cameraInput&);
    bool (*done)(const cameraInput&);
    handshakeState to;
    bool again;
};

const handshakeTransition TRANSITIONS[] = {
    {STATE_DISCONNECTED, connectCamera, nullptr, STATE_CONNECTED, true},
    {STATE_CONNECTED, requestSyncPresent, nullptr, STATE_REQUESTED, false},
    {STATE_NORMALISING, normSuccessPresent, removeNormSuccess, STATE_NORMALISED, false},
};

// A normalised camera waits for the other without a pause; every other state without a
// transition waits for the loop (a push, or the other camera).
bool waitsIn(handshakeState state) {
    return state != STATE_NORMALISED;
}

} // namespace

bool handshakeStep(const cameraInput& camera, handshakeState* state) {
    for (const handshakeTransition& t : TRANSITIONS) {
        if (t.from != *state)
            continue;
        if (!t.ready(camera))
            return true;
        // The answer counts once seen: a "norm.success" that could not be removed (after the
        // control files' retries) is of this handshake and is replaced by the camera's next.
        if (t.done)
            (void)t.done(camera);
        *state = t.to;
        return t.again ? handshakeStep(camera, state) : false;
    }
    return waitsIn(*state);
}

handshakeCycle runHandshakeCycle(handshake* cameras, const cameraInput& a, const cameraInput& b) {
    bool waiting = false;
    for (const cameraInput* camera : {&a, &b}) {
        handshakeState& state = cameras->of(camera->camera());
        if (!isConnected(*camera))
            state = STATE_DISCONNECTED;
        waiting = handshakeStep(*camera, &state) || waiting;
    }
    for (cam lonely : BOTH_CAMERAS) {
        const cam other = lonely == cam::A ? cam::B : cam::A;
        if (cameras->of(lonely) == STATE_NORMALISED && cameras->of(other) <= STATE_REQUESTED) {
            // The normalised camera connects again in the next cycle.
            cameras->of(lonely) = STATE_DISCONNECTED;
            return {handshakeOutcome::pending, waiting};
        }
    }
    if (cameras->both(STATE_REQUESTED))
        return {handshakeOutcome::bothRequested, waiting};
    if (cameras->both(STATE_NORMALISED))
        return {handshakeOutcome::bothNormalised, waiting};
    if (cameras->both(STATE_MEASURING))
        return {handshakeOutcome::bothMeasuring, waiting};
    return {handshakeOutcome::pending, waiting};
}

void resetConnectedCamera(const cameraInput& camera) {
    if (!isConnected(camera))
        return;
    sendResync(camera);
    sendCancel(camera);
}
