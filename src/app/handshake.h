// The handshake of the two camera computers, from "not connected" to "measuring": the states
// of both cameras, the table of steps that move one camera along them, and the cycle that both
// run loops run while the station waits for the cameras.
#pragma once

#include "config/camera.h"
#include "input/cameraInput.h"

// The pause of a handshake cycle that found a camera still to wait for.
const int HANDSHAKE_PAUSE_MS = 200;

// The numbers are what the health files and the screen show.
enum handshakeState {
    STATE_DISCONNECTED = 0, // the "connect" file is to be placed
    STATE_CONNECTED = 1,    // waiting for "request.sync"
    STATE_REQUESTED = 2,    // "request.sync" seen; waiting for the other camera
    STATE_NORMALISING = 3,  // normalisation parameters sent; waiting for "norm.success"
    STATE_NORMALISED = 4,   // waiting for the other camera
    STATE_MEASURING = 5     // measurement parameters sent
};

// Where both cameras stand.
struct handshake {
    handshakeState state[2] = {STATE_DISCONNECTED, STATE_DISCONNECTED};

    handshakeState& of(cam camera) { return state[camIndex(camera)]; }
    handshakeState of(cam camera) const { return state[camIndex(camera)]; }
    bool both(handshakeState s) const { return state[0] == s && state[1] == s; }
    void setBoth(handshakeState s) { state[0] = state[1] = s; }
};

// What a handshake cycle found once both cameras had their step.
enum class handshakeOutcome {
    pending,        // a camera is still on its way (or was sent back)
    bothRequested,  // both asked for parameters: the loop pushes them
    bothNormalised, // both finished normalising
    bothMeasuring,  // both received their parameters
};

struct handshakeCycle {
    handshakeOutcome outcome;
    bool waiting; // a camera is to be waited for: the loop pauses before the next cycle
};

// One cycle for both cameras: a camera whose "connect" file is gone starts again, each camera
// takes its step from the table, and a camera that finished normalising while the other is
// back at "request.sync" or earlier starts again from state 0.
handshakeCycle runHandshakeCycle(handshake* cameras, const cameraInput& a, const cameraInput& b);

// Handles one camera by its state (connect, "request.sync", "norm.success"); true when the
// loop has to wait for it.
bool handshakeStep(const cameraInput& camera, handshakeState* state);

// Sends resync and then cancel to a camera that is connected (the state it was left in by an
// earlier run is unknown).
void resetConnectedCamera(const cameraInput& camera);
