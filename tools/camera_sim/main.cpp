// camera_sim: plays camera A and/or camera B of a station on their control and input
// directories in real time, until the given run time is over or SIGINT/SIGTERM arrives.
#include "cameraSimulator.h"
#include "frameLog.h"
#include "simCommandLine.h"

#include "platform/fileOps.h"
#include "platform/stationClock.h"
#include "platform/stopSignal.h"
#include "platform/version.h"

#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

void warnMissing(const QString& dir, char camera, const char* what) {
    if (!directoryExists(dir))
        fprintf(stderr, "camera_sim: warning: %s directory of camera %c does not exist: %s\n", what,
                camera, dir.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    simCommandLine line;
    if (!parseSimCommandLine(args, &line)) {
        fprintf(stderr, "camera_sim: %s\n\n%s", line.error.toLocal8Bit().constData(), simUsage());
        return 2;
    }
    if (line.help) {
        fputs(simUsage(), stdout);
        return 0;
    }
    if (line.version) {
        printf("camera_sim %s\n", PROGRAM_VERSION);
        return 0;
    }

    std::unique_ptr<frameLog> log;
    if (!line.frameLogPath.isEmpty()) {
        log.reset(new frameLog(line.frameLogPath));
        if (!log->isOpen()) {
            fprintf(stderr, "camera_sim: cannot open the frame log %s\n",
                    line.frameLogPath.toLocal8Bit().constData());
            return 1;
        }
    }

    installStopHandlers();
    std::vector<std::unique_ptr<cameraSimulator>> cameras;
    for (int c = 0; c < 2; ++c) {
        if (!line.play[c])
            continue;
        const simulatorSettings& settings = line.cameras[c];
        char letter = c == 0 ? 'A' : 'B';
        warnMissing(settings.controlDir, letter, "control");
        warnMissing(settings.inputDir, letter, "input");
        cameras.emplace_back(new cameraSimulator(settings, log.get()));
    }

    double start = nowWithMicroseconds();
    while (!stopRequested()) {
        for (const std::unique_ptr<cameraSimulator>& camera : cameras)
            camera->step();
        if (line.seconds > 0.0 && nowWithMicroseconds() - start >= line.seconds)
            break;
        sleepMs(line.stepMs);
    }

    for (const std::unique_ptr<cameraSimulator>& camera : cameras) {
        const simulatorCounts& n = camera->counts();
        printf("camera %c: %d transfer files (%d without frames), %d frames, %d norm-video files, "
               "%d log files, %d garbage files, %d commands obeyed\n",
               camera->letter(), n.transferFiles, n.emptyTransferFiles, n.frames, n.normFiles,
               n.logFiles, n.garbageFiles, n.commands);
    }
    return 0;
}
