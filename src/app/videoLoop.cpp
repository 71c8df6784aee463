#include "app/videoLoop.h"

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/parameterPush.h"
#include "app/runReport.h"
#include "app/shareWatch.h"
#include "app/stationDirectories.h"
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

namespace {

// What the service manager shows: the missing directories the live video waits for, if any.
QString videoStatus(const stationHealth& health) {
    return health.missingDirectories.isEmpty()
               ? QStringLiteral("live video: waiting for cameras")
               : QStringLiteral("live video: waiting: ") +
                     missingDirectoriesText(health.missingDirectories);
}

} // namespace

int runVideoLoopWith(const char* configPath) {
    videoLoop loop(configPath);
    // Ready once the directories were looked at; the missing ones are named until they come.
    notifyReady();
    notifyStatus(videoStatus(loop.health()));
    while (!stopRequested() && !loop.cycle()) {
    }
    // Ended by the cameras or by a stop signal: the last files say the controller is gone.
    loop.finish();
    notifyStopping();
    return 0;
}

videoLoop::videoLoop(const char* configPath)
    : m_station(configPath), m_shares(m_station), m_report(QStringLiteral("livevideo"), m_station) {
    m_report.directories().look();
    m_report.health().missingDirectories = m_report.directories().missing();
    statusScreen& screen = statusScreen::instance();
    screen.reset();
    screen.redraw();
    resetConnectedCamera(*m_station.cameraA);
    resetConnectedCamera(*m_station.cameraB);
}

bool videoLoop::cycle() {
    cameraInput& cameraA = *m_station.cameraA;
    cameraInput& cameraB = *m_station.cameraB;
    notifyAlive();
    // A share back from a stall or an absence may have missed commands or carried out late
    // ones: both cameras are reset as at the start, and the handshake goes on from there.
    if (m_shares.look(&m_report.health())) {
        resetConnectedCamera(cameraA);
        resetConnectedCamera(cameraB);
    }
    statusScreen::instance().redraw();
    m_heartbeat.step(monotonicSecond());
    handshakeCycle step = runHandshakeCycle(&m_handshake, cameraA, cameraB);
    bool waiting = step.waiting;
    bool done = false;
    if (step.outcome == handshakeOutcome::bothRequested) {
        prepareParameterRecords(&m_paramsA, &m_paramsB, nullptr, OPMODE_LIVEVIDEO);
        bool delivered = pushToBoth(cameraA, m_paramsA, cameraB, m_paramsB);
        m_handshake.setBoth(STATE_MEASURING);
        if (!delivered) {
            sendResync(cameraA);
            sendResync(cameraB);
            sendCancel(cameraA);
            sendCancel(cameraB);
            waiting = true;
            m_handshake.setBoth(STATE_DISCONNECTED);
        }
    } else if (step.outcome == handshakeOutcome::bothMeasuring) {
        done = true;
        logInfo(QStringLiteral("entering livevideo mode"));
        logInfo(QStringLiteral("start mv_a and mv_b to view live video"));
        logInfo(QStringLiteral("restart measurement with acquire_kiv.exe"));
    }
    if (waiting)
        sleepMs(HANDSHAKE_PAUSE_MS);
    m_heartbeat.write();
    m_report.publish(1, m_handshake, *m_station.writer, videoStatus);
    return done;
}
