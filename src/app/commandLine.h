// The command line of acquire_kiv: one operating mode (the last mode option wins) and the
// calibration flag, and the dispatch into the run loop of that mode.
#pragma once

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
};

// Options are compared as whole arguments, case-sensitively; anything else is ignored.
commandLine parseCommandLine(int argc, const char* const* argv);

// The run loops a mode is dispatched to; tests replace them.
struct modeRunners {
    int (*measurement)(bool calibration);
    int (*video)();
};
modeRunners stationRunners();

// Runs the chosen mode and returns the exit status.
int runMode(const commandLine& options, const modeRunners& runners);
