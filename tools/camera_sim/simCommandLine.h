// The options of the program camera_sim: the directories of the cameras it plays, the rain,
// the timing and the fault switches.
#pragma once

#include "cameraSimulator.h"

#include <QString>
#include <QStringList>

struct simCommandLine {
    simulatorSettings cameras[2];  // camera A, camera B
    bool play[2] = {false, false}; // a camera is played when both its directories are given
    double seconds = 0.0;          // run time; 0: until SIGINT or SIGTERM
    int stepMs = 25;               // pause between two steps
    QString frameLogPath;
    bool help = false;
    bool version = false;
    QString error; // what was wrong with the options
};

// Reads the arguments (without the program name). False, with `error` set, when an option is
// unknown, lacks its value or has a bad one, or no camera is complete.
bool parseSimCommandLine(const QStringList& args, simCommandLine* line);

// The text of --help.
const char* simUsage();
