#include "app/commandLine.h"

#include "app/measurementLoop.h"
#include "app/videoLoop.h"
#include "log/messageLog.h"

#include <cstring>

commandLine parseCommandLine(int argc, const char* const* argv) {
    commandLine options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--calibration") == 0)
            options.calibration = true;
        else if (std::strcmp(arg, "--livevideo") == 0)
            options.mode = MODE_LIVEVIDEO;
        else if (std::strcmp(arg, "--normvideo") == 0)
            options.mode = MODE_NORMVIDEO;
        else if (std::strcmp(arg, "--reboot") == 0)
            options.mode = MODE_REBOOT;
        else if (std::strcmp(arg, "--stop") == 0)
            options.mode = MODE_STOP;
    }
    return options;
}

modeRunners stationRunners() {
    return modeRunners{runMeasurementLoop, runVideoLoop};
}

int runMode(const commandLine& options, const modeRunners& runners) {
    switch (options.mode) {
    case MODE_LIVEVIDEO:
    case MODE_NORMVIDEO:
        return runners.video();
    case MODE_REBOOT:
    case MODE_STOP:
        return 0;
    default:
        logInfo(QStringLiteral("entering measurement mode"));
        if (options.calibration)
            logInfo(QStringLiteral("calibration mode is set"));
        return runners.measurement(options.calibration);
    }
}
