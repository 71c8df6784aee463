#include "app/commandLine.h"

#include "app/measurementLoop.h"
#include "app/videoLoop.h"
#include "config/stationConfig.h"
#include "log/messageLog.h"
#include "platform/version.h"

#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <unistd.h>

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
        else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)
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
           "  --stop          end at once, touching nothing (it stops no running station)\n"
           "  --reboot        end at once, touching nothing (it reboots no camera)\n"
           "  --calibration   the normalisation push asks the cameras for calibration\n"
           "  -h, --help      print this text and end\n"
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

const char* modeName(int mode) {
    switch (mode) {
    case MODE_LIVEVIDEO:
        return "livevideo";
    case MODE_NORMVIDEO:
        return "normvideo";
    case MODE_REBOOT:
        return "reboot";
    case MODE_STOP:
        return "stop";
    default:
        return "measurement";
    }
}

QString runIdentity(int mode, const char* configPath) {
    QFileInfo config(QString::fromLocal8Bit(configPath));
    QString where = config.absoluteFilePath();
    if (config.isSymLink())
        where += QStringLiteral(" -> ") + config.symLinkTarget();
    return QStringLiteral("acquire_kiv %1, PID %2, configuration %3, %4 mode")
        .arg(QLatin1String(PROGRAM_VERSION))
        .arg(qint64(getpid()))
        .arg(where, QLatin1String(modeName(mode)));
}

namespace {

int runChosenMode(const commandLine& options, const modeRunners& runners) {
    switch (options.mode) {
    case MODE_LIVEVIDEO:
    case MODE_NORMVIDEO:
        return runners.video();
    default:
        logInfo(QStringLiteral("entering measurement mode"));
        if (options.calibration)
            logInfo(QStringLiteral("calibration mode is set"));
        return runners.measurement(options.calibration);
    }
}

} // namespace

int runMode(const commandLine& options, const modeRunners& runners) {
    for (const QString& argument : options.unknown)
        logWarning(QStringLiteral("warning : unknown argument %1 ignored").arg(argument));
    // "--stop" and "--reboot" end at once: nothing runs, nothing is told.
    if (options.mode == MODE_REBOOT || options.mode == MODE_STOP)
        return 0;
    // Who runs where with what, at both ends of the run: a journal read months later still
    // says which program and configuration wrote the lines between them.
    const QString identity = runIdentity(options.mode, STATION_CONFIGURATION_PATH);
    logInfo(QStringLiteral("info : starting %1").arg(identity));
    const int status = runChosenMode(options, runners);
    logInfo(QStringLiteral("info : stopped %1, exit status %2").arg(identity).arg(status));
    return status;
}
