// The command line of acquire_kiv: one operating mode (the last mode option wins) and the
// calibration flag, and the dispatch into the run loop of that mode.
#pragma once

#include <QStringList>

enum stationMode {
    MODE_MEASUREMENT = 0,
    MODE_LIVEVIDEO = 1,
    MODE_NORMVIDEO = 2,
    MODE_REBOOT = 3,
    MODE_STOP = 4
};

struct commandLine {
    int mode = MODE_MEASUREMENT;
    bool calibration = false;
    bool help = false;    // "--help" or "-h": print the usage and end
    bool version = false; // "--version": print the version and end
    // Arguments that are no option of the program, in the order given: ignored, as they always
    // were, but named once in a warning when the run starts.
    QStringList unknown;
};

// Options are compared as whole arguments, case-sensitively; anything else is ignored. "-h"
// asks for the usage like "--help": taken as unknown, it started a station in whatever folder
// it was typed in.
commandLine parseCommandLine(int argc, const char* const* argv);

// The text "--help" prints; the manual page lists the same options.
const char* usageText();

// Prints the usage or the version when asked for and answers true: the program then ends with
// status 0 before it draws a screen, takes the lock or touches a file.
bool printInformation(const commandLine& options);

// The run loops a mode is dispatched to; tests replace them.
struct modeRunners {
    int (*measurement)(bool calibration);
    int (*video)();
};
modeRunners stationRunners();

// Runs the chosen mode between a start line and a stop line and returns the exit status.
int runMode(const commandLine& options, const modeRunners& runners);

// "measurement", "livevideo", ...
const char* modeName(int mode);
// What the start and stop lines say of a run: "acquire_kiv 1.0.0.13, PID 812, configuration
// /var/lib/acquire_kiv/acquire_kiv.set -> /etc/acquire_kiv/acquire_kiv.set, measurement mode".
QString runIdentity(int mode, const char* configPath);
