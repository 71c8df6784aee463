// What an operator needs to know at the start of a run, said once: whether the station
// configuration was found or the defaults are in force, every directory in effect, each one
// that is missing or cannot be written, a configuration file of the station folder that no
// longer follows the package's configuration, and whether the clock is kept synchronised.
#pragma once

#include "app/stationDirectories.h"
#include "app/stationObjects.h"

// The configuration folder of the installed package; its station folder holds links to the
// files there.
const char* const PACKAGE_CONFIG_DIR = "/etc/acquire_kiv";

// Logs the report for the objects built from the station configuration at `configPath`; the
// first look of `directories` tells the missing ones.
void reportStartup(stationObjects& station, const char* configPath, directoryWatch* directories);

// In a station folder whose configuration files are links into `configDir`, warns of each one
// that is a file of its own while `configDir` holds one of the same name: an edit there does
// not reach the station (an editor that writes a new file, such as "sed -i", replaced the
// link with it).
void reportConfigurationLinks(const QString& stationDir, const QString& configDir);
