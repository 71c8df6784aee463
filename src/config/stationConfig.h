// The station configuration file "./acquire_kiv.set": where each camera's input and control
// directories and the working directory are, the poll interval, whether a camera is rebooted
// at every resync, and the directories of the log files, the sync list and the video snapshot.
// This reads the keys; the objects they configure are named by the caller.
#pragma once

#include "config/camera.h"

#include <QString>

#include <cstdint>
#include <functional>

// Where the run loops read the station configuration: the station directory is the working
// directory.
const char* const STATION_CONFIGURATION_PATH = "./acquire_kiv.set";

// Where the keys of one camera's reading of the file go. A null target ignores its key.
struct stationConfigTargets {
    QString* inputDir = nullptr;
    QString* controlDir = nullptr;
    QString* workDir = nullptr;
    bool* rebootAtResync = nullptr;
    // The process-wide directories; each answers whether its owner accepted the directory.
    std::function<bool(const QString&)> logDir;
    std::function<bool(const QString&)> syncListDir;
    std::function<bool(const QString&)> normVidDir;
};

// Applies the keys of `camera` (cam::none reads the shared keys only) and the keys of both
// cameras from `path` to `targets`, in file order. The camera's input and control directories
// are taken as configured, whether their share is there or not; the station's own directories
// only when they exist. Each rejected entry is reported on standard error. True when the file
// was opened and parsed.
bool applyStationConfig(cam camera, const stationConfigTargets& targets, const char* path);
