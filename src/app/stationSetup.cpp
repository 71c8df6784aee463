#include "app/stationSetup.h"

#include "config/stationConfig.h"
#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "platform/stationPath.h"

bool pProcessConfFile(cameraInput* input, const char* path) {
    if (!input)
        return false;
    stationConfigTargets targets;
    targets.inputDir = &input->m_inputDir;
    targets.controlDir = &input->m_controlDir;
    targets.workDir = &input->m_workDir;
    targets.pollInterval = &input->m_pollInterval;
    targets.rebootAtResync = &input->m_rebootAtResync;
    targets.logDir = [](const QString& dir) { return logDirectory::instance()->setPath(dir); };
    const syncListPtr syncs = input->m_syncList;
    targets.syncListDir = [syncs](const QString& dir) { return syncs && syncs->setDirectory(dir); };
    targets.normVidDir = [](const QString& dir) {
        return videoSnapshot::instance().setDirectory(dir);
    };
    return applyStationConfig(input->camera(), targets, path);
}

std::unique_ptr<cameraInput> makeCameraInput(const syncListPtr& syncs, uint32_t kind,
                                             const char* configPath,
                                             std::unique_ptr<shareWorker>* share) {
    auto input = std::make_unique<cameraInput>(syncs, kind);
    if (configPath)
        pProcessConfFile(input.get(), configPath);
    // The directories as the input will use them once start() has made them absolute.
    if (share && isCamera(input->camera()))
        *share = std::make_unique<shareWorker>(QStringList{absoluteDirectory(input->m_inputDir),
                                                           absoluteDirectory(input->m_controlDir)},
                                               SHARE_CALL_BOUND_MS);
    input->start();
    return input;
}
