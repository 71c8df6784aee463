#include "app/videoLoop.h"

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/parameterPush.h"
#include "app/runReport.h"
#include "app/shareWatch.h"
#include "app/stationObjects.h"
#include "config/stationConfig.h"
#include "control/controlFiles.h"
#include "log/messageLog.h"
#include "platform/serviceNotify.h"
#include "platform/stationClock.h"
#include "platform/stopSignal.h"
#include "status/statusScreen.h"

int runVideoLoop() {
    return runVideoLoopWith(STATION_CONFIGURATION_PATH);
}

int runVideoLoopWith(const char* configPath) {
    // The same objects as a measurement run, without emptying the working directories.
    stationObjects station(configPath);
    cameraInput& cameraA = *station.cameraA;
    cameraInput& cameraB = *station.cameraB;
    statusScreen& screen = statusScreen::instance();
    screen.reset();
    screen.redraw();
    resetConnectedCamera(cameraA);
    resetConnectedCamera(cameraB);

    handshake cameras;
    int64_t lastHeartbeat = NO_HEARTBEAT;
    cameraParams paramsA, paramsB;
    bool done = false;
    shareWatch shares(station);
    runReport report(QStringLiteral("livevideo"), station.writer->outputDirectory());
    notifyReady();
    const QString status = QStringLiteral("live video: waiting for cameras");
    notifyStatus(status);
    while (!done && !stopRequested()) {
        notifyAlive();
        // A share back from a stall or an absence may have missed commands or carried out late
        // ones: both cameras are reset as at the start, and the handshake goes on from there.
        if (shares.look(&report.health())) {
            resetConnectedCamera(cameraA);
            resetConnectedCamera(cameraB);
        }
        screen.redraw();
        heartbeatStep(monotonicSecond(), &lastHeartbeat);
        handshakeCycle step = runHandshakeCycle(&cameras, cameraA, cameraB);
        bool waiting = step.waiting;
        if (step.outcome == handshakeOutcome::bothRequested) {
            prepareParameterRecords(&paramsA, &paramsB, nullptr, OPMODE_LIVEVIDEO);
            bool delivered = pushToBoth(cameraA, paramsA, cameraB, paramsB);
            cameras.setBoth(STATE_MEASURING);
            if (!delivered) {
                sendResync(cameraA);
                sendResync(cameraB);
                sendCancel(cameraA);
                sendCancel(cameraB);
                waiting = true;
                cameras.setBoth(STATE_DISCONNECTED);
            }
        } else if (step.outcome == handshakeOutcome::bothMeasuring) {
            done = true;
            logInfo(QStringLiteral("entering livevideo mode"));
            logInfo(QStringLiteral("start mv_a and mv_b to view live video"));
            logInfo(QStringLiteral("restart measurement with acquire_kiv.exe"));
        }
        if (waiting)
            sleepMs(HANDSHAKE_PAUSE_MS);
        writeHeartbeat();
        report.publish(1, cameras, *station.writer, status);
    }
    // Ended by the cameras or by a stop signal: the last files say the controller is gone.
    report.finish();
    notifyStopping();
    return 0;
}
