// The measurement run loop: brings both cameras through the handshake (connect,
// normalisation, measurement parameters with a new syncId), then polls their input every 3
// seconds, processes what arrives, pairs the frames and writes the datafiles, and resyncs or
// reboots the cameras when one falls silent, at the full hour, or on request.
#pragma once

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/inputDrain.h"
#include "app/runReport.h"
#include "app/shareWatch.h"
#include "app/stationObjects.h"
#include "config/cameraParams.h"
#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "status/stationHealth.h"
#include "sync/syncList.h"

#include <cstdint>
#include <memory>

// Runs measurement mode until a stop is requested; returns the exit status.
int runMeasurementLoop(bool calibration);

// The phases of a measurement run, one function each; the share watch and the run's report
// live beside it (app/shareWatch.h, app/runReport.h).
class measurementLoop {
public:
    enum phase { PHASE_RESTART, PHASE_NORMALISATION, PHASE_PARAMETERS, PHASE_MEASUREMENT };

    // Builds, in this order: the sync list, the input of camera A and of camera B, the datafile
    // writer (all reading `configPath`), and empties both cameras' working files.
    measurementLoop(bool calibration, const char* configPath);

    // One cycle of the current phase (a restart counts as one).
    void cycle();
    // Cycles until a stop is requested.
    void run();

    phase currentPhase() const { return m_phase; }
    int stateA() const { return m_handshake.of(cam::A); }
    int stateB() const { return m_handshake.of(cam::B); }
    const syncPointPtr& currentSync() const { return m_currentSync; }
    int32_t resyncSecond() const { return m_resyncSecond; }
    bool rebootFlag() const { return m_rebootFlag; }
    cameraInput& cameraA() { return *m_station.cameraA; }
    cameraInput& cameraB() { return *m_station.cameraB; }
    datafileWriter& writer() { return *m_station.writer; }
    const syncListPtr& syncs() const { return m_station.syncs; }
    const stationHealth& health() const { return m_report.health(); }
    stationObjects& station() { return m_station; }

private:
    void restart();
    void normalisationCycle();
    // Pushes the normalisation parameters to both cameras; false when a push failed.
    bool normalisationPush();
    void parametersCycle();
    bool measurementPush();
    void enterMeasurement();
    // `clockStepped`: the wall clock stepped since the last cycle.
    void measurementCycle(bool clockStepped);
    // Polls a camera every 3 seconds of the monotonic clock (`tick`); a poll that moved files
    // marks it pending.
    void pollCamera(cameraInput& camera, int64_t tick);
    void processInput();
    void stopCamera(const cameraInput& camera, bool reboot);
    void resyncCameras(bool lostA, bool lostB);
    void failedPush();
    void publishHealth();
    // Looks through the station's clock-step watch and tells a step; returns it (0: none).
    double watchClock();
    // The line the service manager shows: phase, syncId, datafiles written, and the
    // directories missing at the last look of `health`.
    QString serviceStatus(const stationHealth& health) const;

    bool m_calibration;
    stationObjects m_station;

    phase m_phase = PHASE_RESTART;
    handshake m_handshake;
    heartbeat m_heartbeat;
    syncPointPtr m_currentSync;
    cameraParams m_paramsA;
    cameraParams m_paramsB;
    cameraParams m_paramsStation;

    shareWatch m_shares;

    // Measurement phase; the times are seconds of the monotonic clock.
    int32_t m_resyncSecond = 0;
    bool m_rebootFlag = false;
    static constexpr int64_t NOT_QUIET = INT64_MIN;
    struct cameraPoll {
        int64_t lastPoll = 0;
        int64_t lastData = 0;
        bool pending = false; // a poll moved files that wait to be processed
        // Since when the camera was found silent or disconnected; NOT_QUIET while all is well.
        int64_t quietSince = NOT_QUIET;
    };
    cameraPoll m_polls[2]; // camera A, B
    int64_t m_newestData = 0;

    // What remote monitoring sees.
    runReport m_report;
};
