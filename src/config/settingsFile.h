// The datafile writer's settings, read from the station configuration file with a key of
// their own (`3sec_dir`), and the reboot request: a file "REBOOT" that another program of the
// station places in the datafile directory to ask for a reboot of the cameras.
#pragma once

#include <QString>

// Reads `path` and applies its `3sec_dir` entries to `outputDirectory` (a rejected directory
// is reported on standard error and changes nothing). True when the file could be opened and
// parsed completely.
bool pProcessSettingsFile(const char* path, QString* outputDirectory);

// True when `outputDirectory` exists and holds "REBOOT".
bool rebootRequestPresent(const QString& outputDirectory);
// Removes "REBOOT": up to 100 attempts, 100 ms apart; true only when a removal succeeded.
bool clearRebootRequest(const QString& outputDirectory);

// Removes `path`, trying up to 100 times 100 ms apart while it still exists; false when it
// was not there or could not be removed.
bool removeWithRetries(const QString& path);
