#include "config/settingsFile.h"

#include "config/configParser.h"
#include "platform/fileOps.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"

namespace {

const char* const REBOOT_FILE = "REBOOT";
const int REMOVE_ATTEMPTS = 100;
const int REMOVE_PAUSE_MS = 100;

} // namespace

bool pProcessSettingsFile(const char* path, QString* outputDirectory) {
    configList entries;
    if (pReadConfigFile(path, &entries) != 0) {
        destroyConfigList(&entries);
        return false;
    }
    for (const configEntry& entry : entries.m_entries) {
        if (matchConfigKey(&entry, "3sec_dir") != 0)
            continue;
        if (!acceptDirectory(QString::fromLocal8Bit(entry.m_value.c_str()), outputDirectory))
            reportInvalidCombination("pProcessSettingsFile", entry.m_key.c_str(),
                                     entry.m_value.c_str());
    }
    destroyConfigList(&entries);
    return true;
}

bool rebootRequestPresent(const QString& outputDirectory) {
    return directoryExists(outputDirectory) &&
           fileExists(joinPath(outputDirectory, QLatin1String(REBOOT_FILE)));
}

bool clearRebootRequest(const QString& outputDirectory) {
    return removeWithRetries(joinPath(outputDirectory, QLatin1String(REBOOT_FILE)));
}

bool removeWithRetries(const QString& path) {
    if (!fileExists(path))
        return false;
    for (int attempt = 0; attempt < REMOVE_ATTEMPTS; ++attempt) {
        if (removeFile(path))
            return true;
        if (!fileExists(path))
            return false;
        sleepMs(REMOVE_PAUSE_MS);
    }
    return false;
}
