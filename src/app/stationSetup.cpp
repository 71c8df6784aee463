#include "app/stationSetup.h"

#include "config/stationConfig.h"
#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "platform/stationPath.h"

bool pProcessConfFile(cameraInput* input, const char* path) {
    if (!input)
        return false;
    // The poll interval is checked and reported when wrong, but not kept: the run loops poll
    // both cameras at their own fixed period.
    cameraInputConfig config = input->config();
    stationConfigTargets targets;
    targets.inputDir = &config.inputDir;
    targets.controlDir = &config.controlDir;
    targets.workDir = &config.workDir;
    targets.rebootAtResync = &config.rebootAtResync;
    targets.logDir = [](const QString& dir) { return logDirectory::instance()->setPath(dir); };
    const syncListPtr syncs = input->syncs();
    targets.syncListDir = [syncs](const QString& dir) { return syncs && syncs->setDirectory(dir); };
    targets.normVidDir = [](const QString& dir) {
        return videoSnapshot::instance().setDirectory(dir);
    };
    const bool read = applyStationConfig(input->camera(), targets, path);
    input->configure(config);
    return read;
}

std::unique_ptr<cameraInput> makeCameraInput(const syncListPtr& syncs, uint32_t kind,
                                             const char* configPath, cameraShare* share) {
    auto input = std::make_unique<cameraInput>(syncs, kind);
    if (configPath)
        pProcessConfFile(input.get(), configPath);
    input->useShare(share);
    input->start();
    return input;
}
