#include "app/videoLoop.h"

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/parameterPush.h"
#include "app/stationDirectories.h"
#include "app/stationObjects.h"
#include "config/stationConfig.h"
#include "control/controlFiles.h"
#include "log/messageLog.h"
#include "platform/serviceNotify.h"
#include "platform/stationClock.h"
#include "platform/stopSignal.h"
#include "status/healthFiles.h"
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
    stationHealth health;
    health.mode = QStringLiteral("livevideo");
    health.setPhase(1, currentSecond());
    health.datafileDirectory = station.writer->outputDirectory();
    healthFiles files;
    scopedLogListener listener([&](const logEntry& entry) { health.noteMessage(entry); });
    // Ready once the directories were looked at; the missing ones are named until they come.
    directoryWatch directories(stationDirectories(station));
    directories.look();
    notifyReady();
    while (!done && !stopRequested()) {
        directories.lookEvery(monotonicSecond());
        health.missingDirectories = directories.missing();
        notifyStatus(health.missingDirectories.isEmpty()
                         ? QStringLiteral("live video: waiting for cameras")
                         : QStringLiteral("live video: waiting: ") +
                               missingDirectoriesText(health.missingDirectories));
        notifyAlive();
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
        health.setCameraState(0, cameras.state[0], currentSecond());
        health.setCameraState(1, cameras.state[1], currentSecond());
        screen.setStateLine(health);
        files.publish(&health, currentSecond());
    }
    // Ended by the cameras or by a stop signal: the last files say the controller is gone.
    health.running = false;
    files.publish(&health, currentSecond(), true);
    notifyStopping();
    return 0;
}
