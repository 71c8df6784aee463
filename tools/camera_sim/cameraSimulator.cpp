#include "cameraSimulator.h"

#include "cameraFiles.h"

#include "format/transferWriter.h"
#include "platform/fileOps.h"
#include "platform/stationClock.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Control files, named as the station names them.
const char* const CONNECT = "connect";
const char* const REQUEST_SYNC = "request.sync";
const char* const ACQUIRE_PAR = "acquire.par";
const char* const NORM_SUCCESS = "norm.success";
// The commands in the order they are obeyed: a reboot outranks the others.
const char* const COMMANDS[3] = {"reboot", "cancel", "resync"};

// How old a transfer file delivered again is: its frames have reached their datafile.
const double REDELIVERY_AGE = 10.0;

// Size range of a garbage transfer file, bytes.
const int GARBAGE_MIN_SIZE = 64;
const int GARBAGE_MAX_SIZE = 4096;

// Depth of camera B's light plane below camera A's: the mean distance of the planes.
double planeDepth(const cameraParams& params) {
    if (params.cameraId != CAM_B)
        return 0.0;
    return (double(params.planeBackLeft) + params.planeBackRight + params.planeFrontRight) / 3.0;
}

} // namespace

cameraSimulator::cameraSimulator(const simulatorSettings& settings, frameLog* log)
    : m_settings(settings), m_log(log), m_rain(settings.seed, settings.rain),
      m_random(settings.seed * 2 + uint64_t(settings.camera)),
      m_letter(cameraLetter(settings.camera)),
      m_clockBase(nowWithMicroseconds() - currentClock().monotonic()), m_madeAt(cameraNow()) {
    resetCameraParams(&m_params);
    m_view = cameraView{0.0, m_params.lineFrequency, m_params.width, m_params.camA.xscale, 0.0};
}

QString cameraSimulator::controlPath(const char* name) const {
    return joinControl(QLatin1String(name));
}

QString cameraSimulator::joinControl(const QString& name) const {
    return QDir(m_settings.controlDir).filePath(name);
}

bool cameraSimulator::controlFilePresent(const char* name) const {
    return fileExists(controlPath(name));
}

void cameraSimulator::note(const QString& text) const {
    if (!m_settings.verbose)
        return;
    printf("%s camera %c: %s\n", utcTimeText(cameraNow()).toLocal8Bit().constData(), m_letter,
           text.toLocal8Bit().constData());
    fflush(stdout);
}

double cameraSimulator::cameraNow() const {
    return currentClock().monotonic() + m_clockBase;
}

void cameraSimulator::step() {
    double now = cameraNow();
    if (m_state == cameraState::OFFLINE) {
        if (now < m_onlineAt)
            return;
        m_state = cameraState::IDLE;
        note(QStringLiteral("back online"));
    }
    injectFaults(now);
    // A camera computer that loses its control share has lost the station: it stops and asks
    // for parameters again once the share is back.
    if (!directoryExists(m_settings.controlDir)) {
        if (m_state == cameraState::MEASURING || m_state == cameraState::NORMALISING) {
            m_state = cameraState::IDLE;
            note(QStringLiteral("control directory lost: idle"));
        }
        return;
    }
    if (obeyCommands(now))
        return;
    takeParameters(now);
    switch (m_state) {
    case cameraState::IDLE:
        askForParameters();
        break;
    case cameraState::NORMALISING:
        if (now >= m_normDoneAt)
            finishNormalisation(now);
        break;
    case cameraState::MEASURING:
        measure(now);
        break;
    case cameraState::LIVEVIDEO:
    case cameraState::OFFLINE:
        break;
    }
}

void cameraSimulator::injectFaults(double now) {
    double running = now - m_madeAt;
    if (m_settings.disconnectAt >= 0.0 && !m_disconnectDone && running >= m_settings.disconnectAt) {
        m_disconnectDone = true;
        removeFile(controlPath(CONNECT));
        note(QStringLiteral("fault: connect removed"));
    }
    if (m_settings.silentAfter >= 0.0 && !m_silenceDone && running >= m_settings.silentAfter) {
        m_silent = true;
        m_silenceDone = true;
        note(QStringLiteral("fault: no more transfer files"));
    }
    if (m_settings.garbageAt >= 0.0 && !m_garbageDone && running >= m_settings.garbageAt) {
        m_garbageDone = true;
        writeGarbageFile(now);
    }
    if (m_settings.redeliverAt >= 0.0 && !m_redeliverDone && running >= m_settings.redeliverAt)
        redeliverTransferFile(now);
}

bool cameraSimulator::commandArrived(int index, const char* name) {
    bool present = controlFilePresent(name);
    // A command kept in place is obeyed once, not at every step it is still there.
    bool arrived = present && !(m_settings.keepCommands && m_commandSeen[index]);
    m_commandSeen[index] = present;
    if (arrived && !m_settings.keepCommands)
        removeFile(controlPath(name));
    return arrived;
}

bool cameraSimulator::obeyCommands(double now) {
    if (commandArrived(0, COMMANDS[0])) {
        ++m_counts.commands;
        // The computer goes down: the station must connect again, and a stale request is void.
        removeFile(controlPath(CONNECT));
        removeFile(joinControl(answerName(REQUEST_SYNC)));
        // A camera that hung comes back from the reboot delivering again.
        m_silent = false;
        m_state = cameraState::OFFLINE;
        m_onlineAt = now + m_settings.rebootOfflineMs / 1000.0;
        note(QStringLiteral("reboot: offline for %1 ms").arg(m_settings.rebootOfflineMs));
        return true;
    }
    for (int i = 1; i < 3; ++i) {
        if (commandArrived(i, COMMANDS[i])) {
            ++m_counts.commands;
            m_state = cameraState::IDLE;
            note(QStringLiteral("%1: idle").arg(QLatin1String(COMMANDS[i])));
        }
    }
    return false;
}

void cameraSimulator::takeParameters(double now) {
    QString path = controlPath(ACQUIRE_PAR);
    if (!fileExists(path))
        return;
    bool keep =
        m_settings.keepParametersAfter >= 0.0 && now - m_madeAt >= m_settings.keepParametersAfter;
    const fileStamp stamp = stampFile(path).value;
    // A file left in place is taken once, not at every step it is still there.
    if (keep && stamp == m_keptParameters)
        return;
    cameraParams received;
    resetCameraParams(&received);
    int read = presetCameraSettingsFromConfFile(&received, path.toLocal8Bit().constData());
    if (!m_settings.parCopyDir.isEmpty()) {
        QString copy = QStringLiteral("%1/%2.%3.acquire.par")
                           .arg(m_settings.parCopyDir, QString(QLatin1Char(m_letter)))
                           .arg(++m_parCopies, 3, 10, QLatin1Char('0'));
        QFile::copy(path, copy);
    }
    if (keep)
        m_keptParameters = stamp;
    else
        removeFile(path);
    removeFile(joinControl(answerName(REQUEST_SYNC)));
    m_state = cameraState::IDLE;
    if (read != 0) {
        note(QStringLiteral("acquire.par unreadable"));
        return;
    }
    received.cameraId = m_settings.camera;
    m_params = received;
    switch (received.operationMode) {
    case OPMODE_NORMALISATION:
        m_state = cameraState::NORMALISING;
        m_normDoneAt = now + m_settings.normDelayMs / 1000.0;
        note(QStringLiteral("acquire.par: normalising"));
        break;
    case OPMODE_MEASUREMENT:
        startMeasurement(now);
        break;
    case OPMODE_LIVEVIDEO:
        m_state = cameraState::LIVEVIDEO;
        note(QStringLiteral("acquire.par: live video"));
        break;
    default:
        note(QStringLiteral("acquire.par: unknown operation mode %1").arg(received.operationMode));
        break;
    }
}

void cameraSimulator::askForParameters() {
    if (!controlFilePresent(CONNECT) || fileExists(joinControl(answerName(REQUEST_SYNC))))
        return;
    if (writeFileAtomically(m_settings.controlDir, answerName(REQUEST_SYNC), "1")) {
        ++m_counts.requests;
        note(QStringLiteral("request.sync written"));
    }
}

void cameraSimulator::finishNormalisation(double now) {
    QString name = nextInputName(now, "norm");
    if (writeFileAtomically(m_settings.inputDir, name, normVideoText(m_params, m_random))) {
        ++m_counts.normFiles;
        if (m_log)
            m_log->logFile(m_letter, "norm", name, 0);
        note(QStringLiteral("norm-video file %1").arg(name));
    }
    if (writeFileAtomically(m_settings.controlDir, answerName(NORM_SUCCESS), "1"))
        note(QStringLiteral("norm.success written"));
    // Normalised: ready for the measurement parameters.
    m_state = cameraState::IDLE;
    if (writeFileAtomically(m_settings.controlDir, answerName(REQUEST_SYNC), "1")) {
        ++m_counts.requests;
        note(QStringLiteral("request.sync written"));
    }
}

void cameraSimulator::startMeasurement(double now) {
    const cameraBlock& own = m_settings.camera == CAM_B ? m_params.camB : m_params.camA;
    m_view =
        cameraView{now, m_params.lineFrequency, m_params.width, own.xscale, planeDepth(m_params)};
    m_syncId = m_params.nextSyncId;
    m_fileStartLine = 0;
    m_nextFileAt = now + m_settings.fileInterval;
    m_nextLogAt = now + m_settings.logInterval;
    m_framesSinceLog = 0;
    m_filesSinceLog = 0;
    if (m_params.lineFrequency <= 0.0) {
        note(QStringLiteral("acquire.par: no line frequency, not measuring"));
        return;
    }
    m_state = cameraState::MEASURING;
    note(QStringLiteral("acquire.par: measuring, syncId %1 at %2 Hz")
             .arg(m_syncId)
             .arg(m_params.lineFrequency, 0, 'f', 2));
}

void cameraSimulator::measure(double now) {
    if (now >= m_nextFileAt) {
        uint64_t line = uint64_t(std::floor((now - m_view.measureStart) * m_view.lineFrequency));
        if (m_silent)
            m_fileStartLine = line; // the lines are lost, as on a camera that hangs
        else if (line > m_fileStartLine)
            writeTransferFile(now, line);
        m_nextFileAt += m_settings.fileInterval;
        if (m_nextFileAt <= now)
            m_nextFileAt = now + m_settings.fileInterval;
    }
    if (m_settings.logInterval > 0.0 && now >= m_nextLogAt) {
        writeLogFile(now);
        m_nextLogAt += m_settings.logInterval;
        if (m_nextLogAt <= now)
            m_nextLogAt = now + m_settings.logInterval;
    }
}

void cameraSimulator::writeTransferFile(double now, uint64_t toLine) {
    std::vector<frameBytes> frames;
    if (rainFrames(m_rain, m_view, m_fileStartLine, toLine, m_syncId, &frames) != 0)
        note(
            QStringLiteral("lines %1 to %2 could not be encoded").arg(m_fileStartLine).arg(toLine));
    // Past the frame limit the rain goes on unseen: the files keep the line stream going.
    if (m_settings.frameLimit >= 0) {
        const long long room = std::max(0LL, m_settings.frameLimit - m_counts.frames);
        if (static_cast<long long>(frames.size()) > room)
            frames.resize(size_t(room));
    }
    QByteArray bytes =
        buildTransferFile(m_params, m_syncId, m_fileStartLine, frames, m_syncId, toLine);
    QString name = nextInputName(now, nullptr);
    if (writeFileAtomically(m_settings.inputDir, name, bytes)) {
        // Only a file with frames: delivered twice, it would put frames twice into datafiles.
        if (m_settings.redeliverAt >= 0.0 && !m_redeliverDone && !frames.empty()) {
            m_recentFiles.emplace_back(now, bytes);
            while (m_recentFiles.size() > 1 && m_recentFiles[1].first <= now - REDELIVERY_AGE)
                m_recentFiles.pop_front();
        }
        ++m_counts.transferFiles;
        if (frames.empty())
            ++m_counts.emptyTransferFiles;
        m_counts.frames += int(frames.size());
        m_framesSinceLog += int(frames.size());
        ++m_filesSinceLog;
        if (m_log) {
            for (const frameBytes& frame : frames)
                m_log->logFrame(m_letter, frame);
            m_log->logFile(m_letter, "transfer", name, frames.size());
        }
        note(QStringLiteral("transfer file %1: lines %2 to %3, %4 frames")
                 .arg(name)
                 .arg(m_fileStartLine)
                 .arg(toLine)
                 .arg(frames.size()));
    } else {
        note(QStringLiteral("transfer file %1 not written").arg(name));
    }
    m_fileStartLine = toLine;
}

void cameraSimulator::writeLogFile(double now) {
    QString time = utcTimeText(now);
    QString text;
    text += QStringLiteral("%1 camera %2 (sensor unit %3, software %4): measuring, syncId %5\n")
                .arg(time)
                .arg(m_letter)
                .arg(m_params.suSerialNr)
                .arg(m_params.softwareVersion)
                .arg(m_syncId);
    text += QStringLiteral("%1 line counter %2 at %3 Hz, window %4 + %5\n")
                .arg(time)
                .arg(m_fileStartLine)
                .arg(m_params.lineFrequency, 0, 'f', 2)
                .arg(m_params.left)
                .arg(m_params.width);
    text += QStringLiteral("%1 %2 transfer files with %3 frames since the last log\n")
                .arg(time)
                .arg(m_filesSinceLog)
                .arg(m_framesSinceLog);
    QString name = nextInputName(now, "log");
    if (writeFileAtomically(m_settings.inputDir, name, text.toLocal8Bit())) {
        ++m_counts.logFiles;
        if (m_log)
            m_log->logFile(m_letter, "log", name, 0);
        note(QStringLiteral("log file %1").arg(name));
    }
    m_framesSinceLog = 0;
    m_filesSinceLog = 0;
}

void cameraSimulator::writeGarbageFile(double now) {
    std::uniform_int_distribution<int> size(GARBAGE_MIN_SIZE, GARBAGE_MAX_SIZE);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(size(m_random), '\0');
    for (char& b : bytes)
        b = char(byte(m_random));
    QString name = nextInputName(now, nullptr);
    if (writeFileAtomically(m_settings.inputDir, name, bytes)) {
        ++m_counts.garbageFiles;
        if (m_log)
            m_log->logFile(m_letter, "garbage", name, 0);
        note(QStringLiteral("fault: garbage transfer file %1").arg(name));
    }
}

void cameraSimulator::redeliverTransferFile(double now) {
    // Waits for a file old enough.
    if (m_recentFiles.empty() || m_recentFiles.front().first > now - REDELIVERY_AGE)
        return;
    m_redeliverDone = true;
    const QString name = nextInputName(now, nullptr);
    if (writeFileAtomically(m_settings.inputDir, name, m_recentFiles.front().second)) {
        ++m_counts.redelivered;
        if (m_log)
            m_log->logFile(m_letter, "again", name, 0);
        note(QStringLiteral("fault: transfer file of %1 s ago delivered again as %2")
                 .arg(now - m_recentFiles.front().first, 0, 'f', 1)
                 .arg(name));
    }
    m_recentFiles.clear();
}

QString cameraSimulator::nextInputName(double now, const char* kind) {
    // Strictly increasing stamps: two files of one step still sort in writing order.
    long long stamp = std::llround(now * 1000000.0);
    if (stamp <= m_lastStamp)
        stamp = m_lastStamp + 1;
    m_lastStamp = stamp;
    QString name = timeStampName(stamp);
    if (kind)
        name += QLatin1Char('.') + QLatin1String(kind);
    name += cameraSuffix(m_settings.camera);
    return m_settings.capitalNames ? name.toUpper() : name;
}

QString cameraSimulator::answerName(const char* name) const {
    const QString answer = QLatin1String(name);
    return m_settings.capitalNames ? answer.toUpper() : answer;
}
