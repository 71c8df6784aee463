// One simulated camera computer: it answers the station's control files in its control
// directory and delivers norm-video, transfer and log files into its input directory.
#pragma once

#include "dropShadows.h"
#include "frameLog.h"
#include "rainModel.h"

#include "config/cameraParams.h"
#include "platform/fileOps.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <random>
#include <utility>

struct simulatorSettings {
    int camera = CAM_A; // CAM_A or CAM_B
    QString controlDir;
    QString inputDir;
    uint64_t seed = 1;          // the rain; both cameras of one station share it
    double rain = RAIN_LIGHT;   // drops per second
    int normDelayMs = 1000;     // from "acquire.par" to the norm-video file
    int rebootOfflineMs = 3000; // offline time of a reboot
    double fileInterval = 1.0;  // seconds between transfer files
    // Frames delivered in all; the transfer files after the last one hold none. Below 0: no end.
    long long frameLimit = -1;
    double logInterval = 20.0; // seconds between camera log files while measuring; 0: none
    // Faults, in seconds after the simulator was made; below 0: never.
    double silentAfter = -1.0;  // no more transfer files; control files are still answered
    double garbageAt = -1.0;    // one transfer file of random bytes
    double redeliverAt = -1.0;  // the transfer file with frames written 10 s before, once more
    double disconnectAt = -1.0; // "connect" removed once
    bool keepCommands = false;  // "resync", "reboot" and "cancel" are obeyed but never removed
    double keepParametersAfter = -1.0; // from then on "acquire.par" is read but never removed
    QString parCopyDir;                // when set, every "acquire.par" received is kept there
    bool capitalNames = false;         // the files it writes are named in capitals ("X.A.CAM")
    bool verbose = false;              // one line per action on standard output
};

enum class cameraState { IDLE, NORMALISING, MEASURING, LIVEVIDEO, OFFLINE };

// What a simulator has done so far.
struct simulatorCounts {
    int requests = 0; // "request.sync" written
    int normFiles = 0;
    int transferFiles = 0;
    int emptyTransferFiles = 0; // transfer files without frames
    int frames = 0;
    int logFiles = 0;
    int garbageFiles = 0;
    int redelivered = 0; // transfer files delivered a second time
    int commands = 0;    // resync, cancel and reboot obeyed
};

// It keeps no clock of its own: every step() reads the station clock, so a program runs it in
// real time and a test runs it on a simulated clock without waiting.
class cameraSimulator {
public:
    // `log` (may be null) outlives the simulator; fault times count from now.
    explicit cameraSimulator(const simulatorSettings& settings, frameLog* log = nullptr);

    // Looks at the control directory once and does what is due at the current time.
    void step();

    cameraState state() const { return m_state; }
    const simulatorCounts& counts() const { return m_counts; }
    char letter() const { return m_letter; }
    // The measurement: syncId and the first line of the next transfer file.
    uint16_t syncId() const { return m_syncId; }
    uint64_t nextFileLine() const { return m_fileStartLine; }
    // The parameter record of the running normalisation or measurement.
    const cameraParams& params() const { return m_params; }

private:
    QString controlPath(const char* name) const;
    bool controlFilePresent(const char* name) const;
    void note(const QString& text) const;

    void injectFaults(double now);
    // True when a reboot took the camera offline.
    bool obeyCommands(double now);
    bool commandArrived(int index, const char* name);
    void takeParameters(double now);
    void askForParameters();
    void finishNormalisation(double now);
    void startMeasurement(double now);
    void measure(double now);
    void writeTransferFile(double now, uint64_t toLine);
    void writeLogFile(double now);
    void writeGarbageFile(double now);
    void redeliverTransferFile(double now);
    QString nextInputName(double now, const char* kind);
    // The name of an answer ("request.sync", "norm.success") as this camera writes it.
    QString answerName(const char* name) const;
    QString joinControl(const QString& name) const;

    simulatorSettings m_settings;
    frameLog* m_log;
    rainModel m_rain;
    std::mt19937_64 m_random;
    char m_letter;
    // The camera computer keeps its own clock: set from the station's when the simulator is
    // made, it then runs on with the time that passes, and a step of the station's wall clock
    // does not move it (nor its line counters).
    double cameraNow() const;
    double m_clockBase;
    double m_madeAt;

    cameraState m_state = cameraState::IDLE;
    cameraParams m_params;
    double m_normDoneAt = 0.0;
    double m_onlineAt = 0.0;

    cameraView m_view;
    uint16_t m_syncId = 65535;
    uint64_t m_fileStartLine = 0;
    double m_nextFileAt = 0.0;
    double m_nextLogAt = 0.0;
    int m_framesSinceLog = 0;
    int m_filesSinceLog = 0;

    bool m_commandSeen[3] = {false, false, false};
    bool m_silent = false;
    bool m_silenceDone = false; // the silence fault fired (a reboot ends it)
    int m_parCopies = 0;
    bool m_garbageDone = false;
    bool m_redeliverDone = false;
    // The transfer files with frames of the last seconds, with the time they were written:
    // what a camera computer may deliver again.
    std::deque<std::pair<double, QByteArray>> m_recentFiles;
    fileStamp m_keptParameters; // the "acquire.par" read and left in place
    bool m_disconnectDone = false;
    long long m_lastStamp = 0;
    simulatorCounts m_counts;
};
