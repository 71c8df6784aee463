#include "app/measurementLoop.h"
#include "app/startupReport.h"
#include "platform/serviceNotify.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include "app/handshake.h"
#include "app/heartbeat.h"
#include "app/parameterPush.h"
#include "app/resyncReason.h"
#include "config/settingsFile.h"
#include "config/stationConfig.h"
#include "control/controlFiles.h"
#include "log/messageLog.h"
#include "platform/stationClock.h"
#include "platform/stopSignal.h"
#include "status/statusScreen.h"

#include <algorithm>

namespace {

const int IDLE_PAUSE_MS = 1000;
const int64_t POLL_PERIOD = 3;
// A camera without new files for longer than this is lost.
const int64_t SILENCE_LIMIT = 10;
const int64_t HOUR = 3600;

statusScreen& screen() {
    return statusScreen::instance();
}

} // namespace

int runMeasurementLoop(bool calibration) {
    measurementLoop loop(calibration, STATION_CONFIGURATION_PATH);
    // The configuration is read and every long-lived object built: the service is up.
    notifyReady();
    loop.run();
    notifyStopping();
    return 0;
}

measurementLoop::measurementLoop(bool calibration, const char* configPath)
    : m_calibration(calibration), m_station(configPath), m_shares(m_station),
      m_report(QStringLiteral("measurement"), m_station) {
    screen();
    reportStartup(m_station, configPath, &m_report.directories());
    m_station.cameraA->removeWorkFiles();
    m_station.cameraB->removeWorkFiles();
    m_station.writer->completeUnfinished();
    if (zoneHasSummerTime(currentSecond()))
        logWarning(QStringLiteral("warning : the local time zone has summer time: datafiles of the "
                                  "hour that comes twice when it ends are kept in %1")
                       .arg(joinPath(m_station.writer->outputDirectory(),
                                     QLatin1String(REPEATED_DATAFILE_DIR))));
    resetCameraParams(&m_paramsA);
    resetCameraParams(&m_paramsB);
    resetCameraParams(&m_paramsStation);
}

void measurementLoop::run() {
    while (!stopRequested())
        cycle();
    // The health files end with the state the run stopped in, and say that it stopped.
    m_report.finish();
}

void measurementLoop::cycle() {
    notifyAlive();
    // While a share was away or unanswered the camera may have missed its commands, or got
    // late ones (a camera computer keeps measuring on its own disk): when it is back, a
    // handshake under way starts again. (Measuring, the station has already resynced: an
    // unanswered control directory is a disconnected camera.)
    if (m_shares.look(&m_report.health()) && m_phase != PHASE_MEASUREMENT)
        m_phase = PHASE_RESTART;
    const double step = watchClock();
    switch (m_phase) {
    case PHASE_RESTART:
        restart();
        break;
    case PHASE_NORMALISATION:
        normalisationCycle();
        break;
    case PHASE_PARAMETERS:
        parametersCycle();
        break;
    case PHASE_MEASUREMENT:
        measurementCycle(step != 0.0);
        break;
    }
    publishHealth();
}

double measurementLoop::watchClock() {
    const double step = m_station.clockWatch.check();
    if (step != 0.0)
        logWarning(
            QStringLiteral("warning : the station clock stepped by %1 s").arg(step, 0, 'f', 1));
    return step;
}

void measurementLoop::publishHealth() {
    const int phase = m_phase == PHASE_NORMALISATION ? 1
                      : m_phase == PHASE_PARAMETERS  ? 2
                      : m_phase == PHASE_MEASUREMENT ? 3
                                                     : 0;
    m_report.publish(phase, m_handshake, *m_station.writer,
                     [this](const stationHealth& health) { return serviceStatus(health); });
}

QString measurementLoop::serviceStatus(const stationHealth& health) const {
    const QString written = QStringLiteral("%1 datafiles").arg(health.datafilesWritten);
    const bool missing = !health.missingDirectories.isEmpty();
    // Measuring without a directory (the log directory, say) is still measuring; before that
    // the missing directory is what the station waits for.
    if (missing && m_phase != PHASE_MEASUREMENT)
        return QStringLiteral("waiting: ") + missingDirectoriesText(health.missingDirectories);
    switch (m_phase) {
    case PHASE_MEASUREMENT:
        return QStringLiteral("measuring, syncId %1, ").arg(health.syncId) + written +
               (missing ? QStringLiteral("; ") + missingDirectoriesText(health.missingDirectories)
                        : QString());
    case PHASE_PARAMETERS:
        return QStringLiteral("handshake: measurement parameters, ") + written;
    default:
        return QStringLiteral("handshake: waiting for cameras (A %1, B %2), ")
                   .arg(QLatin1String(cameraStateName(m_handshake.of(cam::A))),
                        QLatin1String(cameraStateName(m_handshake.of(cam::B)))) +
               written;
    }
}

void measurementLoop::restart() {
    m_heartbeat.last = NO_HEARTBEAT;
    m_currentSync.reset();
    m_report.health().syncId = -1;
    screen().reset();
    screen().redraw();
    resetConnectedCamera(*m_station.cameraA);
    resetConnectedCamera(*m_station.cameraB);
    // The cancel ends whatever a camera was doing (a normalisation under way too): its answer
    // to an earlier push will not come, so the handshake begins again at connecting.
    m_handshake.setBoth(STATE_DISCONNECTED);
    m_phase = PHASE_NORMALISATION;
}

// Phase 1: both cameras connect, ask for parameters, normalise.
void measurementLoop::normalisationCycle() {
    const int64_t tick = monotonicSecond();
    screen().redraw();
    handshakeCycle step = runHandshakeCycle(&m_handshake, *m_station.cameraA, *m_station.cameraB);
    bool normalised = false;
    if (step.outcome == handshakeOutcome::bothRequested) {
        step.waiting = !normalisationPush() || step.waiting;
    } else if (step.outcome == handshakeOutcome::bothNormalised) {
        normalised = true;
        m_handshake.setBoth(STATE_CONNECTED);
    }
    if (step.waiting)
        sleepMs(HANDSHAKE_PAUSE_MS);
    m_heartbeat.step(tick);
    if (normalised)
        m_phase = PHASE_PARAMETERS;
}

bool measurementLoop::normalisationPush() {
    prepareParameterRecords(&m_paramsA, &m_paramsB, nullptr, OPMODE_NORMALISATION);
    if (m_calibration) {
        logNote(QStringLiteral("note : calibration flag is set"));
        m_paramsA.calibrationMode = 1;
        m_paramsB.calibrationMode = 1;
    }
    bool delivered = pushToBoth(*m_station.cameraA, m_paramsA, *m_station.cameraB, m_paramsB);
    m_handshake.setBoth(STATE_NORMALISING);
    if (!delivered)
        failedPush();
    return delivered;
}

void measurementLoop::failedPush() {
    ++m_report.health().resyncs[RESYNC_FAILED_PUSH];
    sendResync(*m_station.cameraA);
    sendResync(*m_station.cameraB);
    m_handshake.setBoth(STATE_DISCONNECTED);
}

// Phase 2: both cameras ask again and receive the measurement parameters with a new syncId.
// A camera that lost its connection here has lost its normalisation: both start again.
void measurementLoop::parametersCycle() {
    const int64_t tick = monotonicSecond();
    bool waiting = false;
    bool lost = false;
    screen().redraw();
    for (const cameraInput* camera : {m_station.cameraA.get(), m_station.cameraB.get()}) {
        handshakeState& state = m_handshake.of(camera->camera());
        if (!isConnected(*camera))
            state = STATE_DISCONNECTED;
        switch (state) {
        case STATE_CONNECTED:
            if (requestSyncPresent(*camera))
                state = STATE_REQUESTED;
            else
                waiting = true;
            break;
        case STATE_DISCONNECTED:
            lost = true;
            break;
        case STATE_MEASURING:
            break;
        default:
            waiting = true;
            break;
        }
    }
    if (lost) {
        m_phase = PHASE_RESTART;
        return;
    }
    if (m_handshake.both(STATE_REQUESTED) && !measurementPush()) {
        failedPush();
        waiting = true;
    }
    if (m_handshake.both(STATE_MEASURING)) {
        enterMeasurement();
        return;
    }
    if (waiting)
        sleepMs(HANDSHAKE_PAUSE_MS);
    m_heartbeat.step(tick);
}

bool measurementLoop::measurementPush() {
    prepareParameterRecords(&m_paramsA, &m_paramsB, &m_paramsStation, OPMODE_MEASUREMENT);
    if (mergeCameraParams(&m_paramsA, &m_paramsB, &m_paramsStation) != 0) {
        logError(errorKind::parameterPush,
                 QStringLiteral("error : settings for camera A and B are incompatible"));
        return false;
    }
    // A step since the cycle began puts the new synchronisation on the new clock.
    watchClock();
    if (!m_station.syncs->addSync(m_paramsStation))
        return false;
    uint16_t syncId = m_station.syncs->currentSyncId();
    m_paramsStation.nextSyncId = syncId;
    m_paramsA.nextSyncId = syncId;
    m_paramsB.nextSyncId = syncId;
    m_currentSync = m_station.syncs->find(syncId);
    if (!m_currentSync || !m_currentSync->isValid())
        return false;
    if (!pushParameters(*m_station.cameraA, m_paramsA) ||
        !pushParameters(*m_station.cameraB, m_paramsB))
        return false;
    m_handshake.setBoth(STATE_MEASURING);
    return true;
}

void measurementLoop::enterMeasurement() {
    bool valid = m_currentSync && m_currentSync->isValid();
    int64_t t0 = valid ? m_currentSync->syncSecond() : 0;
    // The next full hour of the clock after the sync, but never after the end of the sync
    // day: in time zones a fraction of an hour off UTC the day ends before the full hour.
    int64_t resync = (t0 / HOUR) * HOUR + HOUR;
    if (valid && m_currentSync->dayEnd() < resync)
        resync = m_currentSync->dayEnd();
    m_resyncSecond = int32_t(resync);
    m_rebootFlag = (valid && m_currentSync->dayEnd() <= m_resyncSecond) ||
                   m_station.cameraA->rebootAtResync() || m_station.cameraB->rebootAtResync();
    // Polls and silence are timed on the monotonic clock, from the tick of the sync second.
    const int64_t syncTick = monotonicSecond() - (currentSecond() - t0);
    for (cameraPoll& poll : m_polls) {
        poll.lastPoll = poll.lastData = syncTick;
        poll.pending = false;
    }
    m_newestData = syncTick;
    screen().setSyncLine(m_station.syncs->currentSyncId(), int32_t(t0), m_resyncSecond,
                         m_rebootFlag);
    m_report.health().syncId = m_station.syncs->currentSyncId();
    m_report.health().syncSecond = t0;
    m_report.health().resyncSecond = m_resyncSecond;
    m_report.health().rebootFlag = m_rebootFlag;
    m_phase = PHASE_MEASUREMENT;
}

// Phase 3: poll, process, pair, write; resync when a camera falls silent, at the resync
// second, or on request.
void measurementLoop::measurementCycle(bool clockStepped) {
    const int64_t tick = monotonicSecond();
    screen().redraw();
    m_heartbeat.step(tick);

    resyncCause cause;
    cause.clockStepped = clockStepped;
    for (const cameraInput* camera : {m_station.cameraA.get(), m_station.cameraB.get()}) {
        handshakeState& state = m_handshake.of(camera->camera());
        if (!isConnected(*camera) || state != STATE_MEASURING) {
            cause.disconnected = true;
            cause.lost[camIndex(camera->camera())] = state == STATE_MEASURING;
            state = STATE_DISCONNECTED;
        }
    }
    pollCamera(*m_station.cameraA, tick);
    pollCamera(*m_station.cameraB, tick);
    for (int i : {0, 1}) {
        cause.silent[i] = m_polls[i].lastData + SILENCE_LIMIT < tick;
        cause.silentFor[i] = tick - m_polls[i].lastData;
    }
    // The full hour is a time of the wall clock; after a step of the wall clock the cameras
    // are synchronised again at once, so that the next sync carries the right time.
    bool resync = cause.disconnected || cause.silent[0] || cause.silent[1] ||
                  currentSecond() >= m_resyncSecond || clockStepped;
    if (rebootRequestPresent(m_station.writer->outputDirectory())) {
        resync = cause.rebootRequest = true;
        clearRebootRequest(m_station.writer->outputDirectory());
        logInfo(QStringLiteral("info : receiving reboot request due to asynchronity from pw3.exe"));
    }
    bool idle = true;
    if (m_polls[0].pending || m_polls[1].pending) {
        m_newestData = std::max(m_polls[0].lastData, m_polls[1].lastData);
        idle = false;
    }
    processInput();

    if (resync) {
        ++m_report.health().resyncs[resyncReasonOf(cause)];
        tellResyncReason(cause);
        // A camera that fell silent or lost its connection is watched until it delivers again.
        if (resyncReasonOf(cause) == RESYNC_SILENCE || resyncReasonOf(cause) == RESYNC_DISCONNECT)
            for (int i : {0, 1})
                if ((cause.silent[i] || cause.lost[i]) && m_polls[i].quietSince == NOT_QUIET)
                    m_polls[i].quietSince = cause.silent[i] ? m_polls[i].lastData : tick;
        resyncCameras(cause.silent[0], cause.silent[1]);
        return;
    }
    if (idle)
        sleepMs(IDLE_PAUSE_MS);
}

// Both cameras are polled every 3 seconds; a poll that moved files marks them pending.
void measurementLoop::pollCamera(cameraInput& camera, int64_t tick) {
    cameraPoll& poll = m_polls[camIndex(camera.camera())];
    if (poll.lastPoll + POLL_PERIOD > tick)
        return;
    if (camera.collectInput() != 0) {
        poll.pending = true;
        poll.lastData = tick;
        if (poll.quietSince != NOT_QUIET) {
            logInfo(QStringLiteral("info : camera %1 delivers again after %2 s")
                        .arg(QLatin1Char(camLetter(camera.camera())))
                        .arg(tick - poll.quietSince));
            poll.quietSince = NOT_QUIET;
        }
        m_report.health().camera[camIndex(camera.camera())].lastDataTime = currentSecond();
    }
    poll.lastPoll = tick;
}

void measurementLoop::processInput() {
    inputDrain drain{m_station.cameraA.get(), m_station.cameraB.get(), m_station.writer.get(),
                     m_polls[0].pending, m_polls[1].pending};
    drainInput(&drain, m_newestData + STATION_PROCESSING_WINDOW, &m_report);
    m_polls[0].pending = drain.pendingA;
    m_polls[1].pending = drain.pendingB;
}

// Cancels what the camera does, then reboots or resynchronises it.
void measurementLoop::stopCamera(const cameraInput& camera, bool reboot) {
    const char letter = camLetter(camera.camera());
    sendCancel(camera);
    if (reboot) {
        logInfo(QStringLiteral("%1: send reboot").arg(QLatin1Char(letter)));
        sendReboot(camera);
        ++m_report.health().camera[camIndex(camera.camera())].reboots;
    } else {
        logInfo(QStringLiteral("%1: send resync").arg(QLatin1Char(letter)));
        sendResync(camera);
    }
}

void measurementLoop::resyncCameras(bool lostA, bool lostB) {
    logInfo(QStringLiteral("RESYNC"));
    // A camera at state 0 is not in the measurement: it gets no command.
    if (m_handshake.of(cam::A) != STATE_DISCONNECTED)
        stopCamera(*m_station.cameraA, lostA || m_rebootFlag);
    if (m_handshake.of(cam::B) != STATE_DISCONNECTED)
        stopCamera(*m_station.cameraB, lostB || m_rebootFlag);
    m_handshake.setBoth(STATE_DISCONNECTED);
    m_phase = PHASE_RESTART;
}
