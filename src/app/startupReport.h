// What an operator needs to know at the start of a run, said once: whether the station
// configuration was found or the defaults are in force, every directory in effect, each one
// that is missing or cannot be written, and whether the clock is kept synchronised.
#pragma once

#include "app/stationObjects.h"

// Logs the report for the objects built from the station configuration at `configPath`.
void reportStartup(const stationObjects& station, const char* configPath);
