#include "config/stationConfig.h"

#include "config/configParser.h"
#include "input/cameraInput.h"
#include "input/logDirectory.h"
#include "output/videoSnapshot.h"
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

// Applies `entry` when it is one of `keys`; false when the key is none of them.
bool applyCameraKey(cameraInput* input, const cameraKeys& keys, const configEntry& entry) {
    QString* dir = nullptr;
    if (matchConfigKey(&entry, keys.inputDir) == 0)
        dir = &input->m_inputDir;
    else if (matchConfigKey(&entry, keys.controlDir) == 0)
        dir = &input->m_controlDir;
    if (dir) {
        if (!acceptDirectory(valueOf(entry), dir))
            reject(entry);
        return true;
    }
    if (matchConfigKey(&entry, keys.pollInterval) != 0)
        return false;
    long long interval = configInteger(entry.m_value.c_str());
    if (interval < MIN_POLL_INTERVAL || interval > MAX_POLL_INTERVAL)
        reject(entry);
    else
        input->m_pollInterval = int32_t(interval);
    return true;
}

// Applies `entry` when it is a key of both cameras; false when it is not.
bool applySharedKey(cameraInput* input, const configEntry& entry) {
    bool accepted;
    if (matchConfigKey(&entry, "temp_dir") == 0) {
        accepted = acceptDirectory(valueOf(entry), &input->m_workDir);
    } else if (matchConfigKey(&entry, "reboot_at_resync") == 0) {
        input->m_rebootAtResync = configInteger(entry.m_value.c_str()) == 1;
        accepted = true;
    } else if (matchConfigKey(&entry, "log_dir") == 0) {
        accepted = logDirectory::instance()->setPath(valueOf(entry));
    } else if (matchConfigKey(&entry, "sync_list_dir") == 0) {
        accepted = input->m_syncList && input->m_syncList->setDirectory(valueOf(entry));
    } else if (matchConfigKey(&entry, "norm_vid_dir") == 0) {
        accepted = videoSnapshot::instance().setDirectory(valueOf(entry));
    } else {
        return false;
    }
    if (!accepted)
        reject(entry);
    return true;
}

} // namespace

bool pProcessConfFile(cameraInput* input, const char* path) {
    if (!input)
        return false;
    configList entries;
    if (pReadConfigFile(path, &entries) != 0) {
        destroyConfigList(&entries);
        return false;
    }
    const cameraKeys* keys = nullptr;
    if (input->kind() == 1)
        keys = &CAMERA_A_KEYS;
    else if (input->kind() == 2)
        keys = &CAMERA_B_KEYS;
    for (const configEntry& entry : entries.m_entries) {
        if (keys && applyCameraKey(input, *keys, entry))
            continue;
        applySharedKey(input, entry);
    }
    destroyConfigList(&entries);
    return true;
}
