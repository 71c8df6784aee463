#include "app/commandLine.h"

#include "app/measurementLoop.h"
#include "app/videoLoop.h"
#include "log/messageLog.h"
#include "platform/version.h"

#include <cstdio>
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
        else if (std::strcmp(arg, "--help") == 0)
            options.help = true;
        else if (std::strcmp(arg, "--version") == 0)
            options.version = true;
        else if (!options.unknown.contains(QString::fromLocal8Bit(arg)))
            options.unknown.append(QString::fromLocal8Bit(arg));
    }
    return options;
}

const char* usageText() {
    return "usage: acquire_kiv [--livevideo | --normvideo | --stop | --reboot] [--calibration]\n"
           "The acquisition controller of the precipitation station. It works in the current\n"
           "directory, the station folder: ./acquire_kiv.set, ./acquire.par, ./camera.a.conf,\n"
           "./camera.b.conf. Without a mode it measures until it is stopped.\n"
           "\n"
           "  --livevideo     push live-video parameters to both cameras and end\n"
           "  --normvideo     the same (the cameras show normalised video)\n"
           "  --stop          end at once\n"
           "  --reboot        end at once\n"
           "  --calibration   the normalisation push asks the cameras for calibration\n"
           "  --help          print this text and end\n"
           "  --version       print the version and end\n"
           "\n"
           "The last mode given wins; other arguments are ignored with a warning.\n";
}

bool printInformation(const commandLine& options) {
    if (options.help)
        std::fputs(usageText(), stdout);
    else if (options.version)
        std::printf("acquire_kiv %s\n", PROGRAM_VERSION);
    else
        return false;
    // The answer is the program's whole output: a closed pipe has nowhere to be told.
    (void)std::fflush(stdout);
    return true;
}

modeRunners stationRunners() {
    return modeRunners{runMeasurementLoop, runVideoLoop};
}

int runMode(const commandLine& options, const modeRunners& runners) {
    for (const QString& argument : options.unknown)
        logWarning(QStringLiteral("warning : unknown argument %1 ignored").arg(argument));
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
