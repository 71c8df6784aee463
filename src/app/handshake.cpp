#include "app/handshake.h"

#include "control/controlFiles.h"

bool handshakeStep(const cameraInput& camera, int* state) {
    switch (*state) {
    case STATE_DISCONNECTED:
        if (!connectCamera(camera))
            return true;
        *state = STATE_CONNECTED;
        // A fresh connection is looked at as state 1 in the same cycle.
        return handshakeStep(camera, state);
    case STATE_CONNECTED:
        if (!requestSyncPresent(camera))
            return true;
        *state = STATE_REQUESTED;
        return false;
    case STATE_NORMALISING:
        if (!normSuccessPresent(camera))
            return true;
        removeNormSuccess(camera);
        *state = STATE_NORMALISED;
        return false;
    case STATE_NORMALISED:
        return false;
    default:
        return true;
    }
}

bool restartLonelyNormalised(int* stateA, int* stateB) {
    if (*stateA == STATE_NORMALISED && *stateB <= STATE_REQUESTED) {
        *stateA = STATE_DISCONNECTED;
        return true;
    }
    if (*stateB == STATE_NORMALISED && *stateA <= STATE_REQUESTED) {
        *stateB = STATE_DISCONNECTED;
        return true;
    }
    return false;
}

void dropIfDisconnected(const cameraInput& camera, int* state) {
    if (!isConnected(camera))
        *state = STATE_DISCONNECTED;
}

void resetConnectedCamera(const cameraInput& camera) {
    if (!isConnected(camera))
        return;
    sendResync(camera);
    sendCancel(camera);
}
