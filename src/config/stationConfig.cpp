#include "config/stationConfig.h"

#include "config/configParser.h"
#include "platform/stationPath.h"

namespace {

const char* const FUNCTION = "pProcessConfFile";
const long long MIN_POLL_INTERVAL = 1;
const long long MAX_POLL_INTERVAL = 59;

// The keys that differ between the cameras.
struct cameraKeys {
    const char* inputDir;
    const char* controlDir;
    const char* pollInterval;
};

const cameraKeys CAMERA_A_KEYS = {"cam_a_input_dir", "cam_a_control_dir", "poll_interval_a"};
const cameraKeys CAMERA_B_KEYS = {"cam_b_input_dir", "cam_b_control_dir", "poll_interval_b"};

QString valueOf(const configEntry& entry) {
    return QString::fromLocal8Bit(entry.m_value.c_str());
}

void reject(const configEntry& entry) {
    reportInvalidCombination(FUNCTION, entry.m_key.c_str(), entry.m_value.c_str());
}

// A camera's directories lie on its share, which may not be there yet when the station
// starts (after a power cut the camera computers come up after the station computer), or may
// hang: the configured directory stays in force whether it exists or not, and is not even
// looked at here (a look at a share that hangs would hold the start unbounded). The camera
// joins once its share answers; only a value that cannot be made a path is refused.
bool takeCameraDirectory(const QString& value, QString* target) {
    const QString absolute = absoluteDirectory(value);
    if (absolute.isEmpty())
        return false;
    *target = absolute;
    return true;
}

// Applies `entry` when it is one of `keys`; false when the key is none of them.
bool applyCameraKey(const stationConfigTargets& targets, const cameraKeys& keys,
                    const configEntry& entry) {
    QString* const* dir = nullptr;
    if (matchConfigKey(&entry, keys.inputDir) == 0)
        dir = &targets.inputDir;
    else if (matchConfigKey(&entry, keys.controlDir) == 0)
        dir = &targets.controlDir;
    if (dir) {
        if (*dir && !takeCameraDirectory(valueOf(entry), *dir))
            reject(entry);
        return true;
    }
    if (matchConfigKey(&entry, keys.pollInterval) != 0)
        return false;
    // Accepted and checked, as the configuration has always had it; the run loops poll both
    // cameras at their own fixed period, so the value goes nowhere.
    long long interval = configInteger(entry.m_value.c_str());
    if (interval < MIN_POLL_INTERVAL || interval > MAX_POLL_INTERVAL)
        reject(entry);
    return true;
}

// Applies `entry` when it is a key of both cameras; false when it is not.
// A process-wide directory goes to its owner, who applies the same rule as for the camera's
// own directories; without an owner it is refused.
bool offerDirectory(const std::function<bool(const QString&)>& owner, const configEntry& entry) {
    return owner && owner(valueOf(entry));
}

bool applySharedKey(const stationConfigTargets& targets, const configEntry& entry) {
    bool accepted = true;
    if (matchConfigKey(&entry, "temp_dir") == 0) {
        if (targets.workDir)
            accepted = acceptDirectory(valueOf(entry), targets.workDir);
    } else if (matchConfigKey(&entry, "reboot_at_resync") == 0) {
        if (targets.rebootAtResync)
            *targets.rebootAtResync = configInteger(entry.m_value.c_str()) == 1;
    } else if (matchConfigKey(&entry, "log_dir") == 0) {
        accepted = offerDirectory(targets.logDir, entry);
    } else if (matchConfigKey(&entry, "sync_list_dir") == 0) {
        accepted = offerDirectory(targets.syncListDir, entry);
    } else if (matchConfigKey(&entry, "norm_vid_dir") == 0) {
        accepted = offerDirectory(targets.normVidDir, entry);
    } else {
        return false;
    }
    if (!accepted)
        reject(entry);
    return true;
}

} // namespace

bool applyStationConfig(cam camera, const stationConfigTargets& targets, const char* path) {
    configList entries;
    if (pReadConfigFile(path, &entries) != 0) {
        destroyConfigList(&entries);
        return false;
    }
    const cameraKeys* keys = nullptr;
    if (camera == cam::A)
        keys = &CAMERA_A_KEYS;
    else if (camera == cam::B)
        keys = &CAMERA_B_KEYS;
    for (const configEntry& entry : entries.m_entries) {
        if (keys && applyCameraKey(targets, *keys, entry))
            continue;
        applySharedKey(targets, entry);
    }
    destroyConfigList(&entries);
    return true;
}
