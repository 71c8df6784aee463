#include "app/handshake.h"

#include "control/controlFiles.h"

namespace {

// One step of a camera: in state `from`, once `ready` answers true (it may act, as connecting
// does) and `done` (when there is one) has done its part, the camera moves to `to`. `again`:
// the new state is looked at in the same cycle.
struct handshakeTransition {
    handshakeState from;
    bool (*ready)(const cameraInput&);
    bool (*done)(const cameraInput&);
    handshakeState to;
    bool again;
};

// The camera's "norm.success" is taken away before its answer counts. While the camera still
// holds it open the step waits for a later cycle: counted with the file left in place, it would
// pass for the answer to the next normalisation. A file that cannot go for any other reason
// counts as seen and is replaced by the camera's next.
bool takeNormSuccess(const cameraInput& camera) {
    return removeNormSuccess(camera) != normSuccessRemoval::busy;
}

const handshakeTransition TRANSITIONS[] = {
    {STATE_DISCONNECTED, connectCamera, nullptr, STATE_CONNECTED, true},
    {STATE_CONNECTED, requestSyncPresent, nullptr, STATE_REQUESTED, false},
    {STATE_NORMALISING, normSuccessPresent, takeNormSuccess, STATE_NORMALISED, false},
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
        if (t.done && !t.done(camera))
            return true;
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
