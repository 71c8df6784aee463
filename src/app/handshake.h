// The handshake states of a camera computer, from "not connected" to "measuring", and the
// step that moves one camera along them while the station waits for normalisation.
#pragma once

#include "input/cameraInput.h"

// The pause of a handshake cycle that found a camera still to wait for.
const int HANDSHAKE_PAUSE_MS = 200;

enum cameraState {
    STATE_DISCONNECTED = 0, // the "connect" file is to be placed
    STATE_CONNECTED = 1,    // waiting for "request.sync"
    STATE_REQUESTED = 2,    // "request.sync" seen; waiting for the other camera
    STATE_NORMALISING = 3,  // normalisation parameters sent; waiting for "norm.success"
    STATE_NORMALISED = 4,   // waiting for the other camera
    STATE_MEASURING = 5     // measurement parameters sent
};

// Handles one camera by its state (connect, "request.sync", "norm.success"); true when the
// loop has to wait for it.
bool handshakeStep(const cameraInput& camera, int* state);

// A camera that finished normalising while the other is back at "request.sync" or earlier
// starts again from state 0. True when one of them was sent back.
bool restartLonelyNormalised(int* stateA, int* stateB);

// Sets the state of a camera whose "connect" file is gone to 0.
void dropIfDisconnected(const cameraInput& camera, int* state);

// Sends resync and then cancel to a camera that is connected (the state it was left in by an
// earlier run is unknown).
void resetConnectedCamera(const cameraInput& camera);
