// The station's health as remote monitoring sees it: mode, phase, camera states, the current
// synchronisation, what each camera delivered, datafiles written and intervals lost, resyncs
// and reboots with their reasons, error lines counted by kind and the newest messages. The run
// loops keep it up to date; the health files publish it.
#pragma once

#include "log/messageLog.h"
#include "platform/stationClock.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct cameraHealth {
    int state = 0;               // handshake state 0..5 (cameraStateName)
    int64_t stateSince = 0;      // wall-clock second it took that state; 0: since the start
    uint64_t framesRead = 0;     // frames with image data read from transfer files
    uint64_t framesWritten = 0;  // frame entries written into datafiles
    uint64_t filesProcessed = 0; // files of the camera handled (any kind)
    QString lastFileName;
    uint32_t lastFileSize = 0;
    int64_t lastFileTime = 0; // when it was handled
    int64_t lastDataTime = 0; // last poll that found files of the camera; 0: none yet
    uint64_t reboots = 0;     // reboot commands sent
    uint64_t stalls = 0;      // times the camera's share did not answer within its bound
    bool stalled = false;     // the camera's share is not answering now
};

// Why a measurement ended in a resync.
enum resyncReason {
    RESYNC_SILENCE,
    RESYNC_DISCONNECT,
    RESYNC_FULL_HOUR,
    RESYNC_REBOOT_REQUEST,
    RESYNC_FAILED_PUSH,
    RESYNC_CLOCK_STEP,
    RESYNC_REASONS
};

struct stationHealth {
    QString mode = QStringLiteral("measurement");
    // False once the run ended: the last files written say the controller is gone.
    bool running = true;
    // The health is made when the run starts; wall-clock second.
    int64_t startTime = currentSecond();
    // Where the datafiles go; the health files report the free space there. Empty: not known.
    QString datafileDirectory;
    int phase = 0;          // 1 normalisation, 2 measurement parameters, 3 measurement; 0 starting
    int64_t phaseSince = 0; // wall-clock second the phase began; 0: since the start
    cameraHealth camera[2];
    // The configured directories that do not exist ("log_dir /srv/log"): while any is missing
    // the station cannot work as configured.
    QStringList missingDirectories;
    int syncId = -1; // -1: none
    int64_t syncSecond = 0;
    int64_t resyncSecond = 0;
    bool rebootFlag = false;
    uint64_t datafilesWritten = 0;
    QString lastDatafile;
    int64_t lastDatafileInterval = 0; // UTC start second of its interval
    uint64_t intervalsLost = 0;       // intervals taken for a datafile that could not be written
    uint64_t resyncs[RESYNC_REASONS] = {};
    uint64_t errors[ERROR_KINDS] = {}; // error lines by errorKind (none stays 0)
    QStringList lastMessages;          // newest last, at most five
    uint64_t healthWriteFailures = 0;

    // Counts an error by its kind and keeps the newest messages.
    void noteMessage(const logEntry& entry);
    // The phase and a camera's state, each with the wall-clock second `now` it was entered
    // when it changes.
    void setPhase(int value, int64_t now);
    void setCameraState(int cameraIndex, int value, int64_t now);
};

// The run's phases and the cameras' handshake states by name, as the screen, the health files
// and kiv_inspect show them; the numbers are those of the numeric metrics. Out of range:
// "unknown".
const int PHASE_COUNT = 4;
const int CAMERA_STATE_COUNT = 6;
const char* phaseName(int phase);
const char* cameraStateName(int state);
// What the station waits for in a camera state, for a person ("waiting for request.sync").
const char* cameraStateMeaning(int state);

// The name of a resync reason in the health files.
const char* resyncReasonName(int reason);
