// The video-mode run loop behind "--livevideo" and "--normvideo": connects both cameras,
// waits until both ask for parameters, pushes parameter files with operation mode LIVEVIDEO
// and ends, so that the operator can watch the cameras' live video with their own viewers.
#pragma once

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/runReport.h"
#include "app/shareWatch.h"
#include "app/stationObjects.h"
#include "config/cameraParams.h"

#include <cstdint>

// Returns 0 once both cameras received their parameter files (or when a stop was requested).
int runVideoLoop();

// The loop with another station configuration path.
int runVideoLoopWith(const char* configPath);

// The loop's objects and one cycle of it, so that tests run it step by step.
class videoLoop {
public:
    // Builds the station's objects (without emptying the working directories), resets the
    // screen and both connected cameras.
    explicit videoLoop(const char* configPath);

    // One handshake cycle; true once both cameras have their parameters.
    bool cycle();
    // The run ended: the last health files say the controller is gone.
    void finish() { m_report.finish(); }

    int stateA() const { return m_handshake.of(cam::A); }
    int stateB() const { return m_handshake.of(cam::B); }
    stationObjects& station() { return m_station; }
    const stationHealth& health() const { return m_report.health(); }

private:
    stationObjects m_station;
    handshake m_handshake;
    heartbeat m_heartbeat;
    cameraParams m_paramsA;
    cameraParams m_paramsB;
    shareWatch m_shares;
    runReport m_report;
};
