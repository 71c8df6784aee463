// Why a measurement ends in a resync: the one reason counted in the health files, chosen the
// most telling first, and the words the log gives it before "RESYNC", with the camera's letter
// and a severity an operator can filter on.
#pragma once

#include "status/stationHealth.h"

#include <cstdint>

// What the measurement cycle found that ends the measurement.
struct resyncCause {
    bool rebootRequest = false;
    bool silent[2] = {false, false}; // camera A, B delivered nothing for too long
    int64_t silentFor[2] = {0, 0};   // seconds since its last data
    bool lost[2] = {false, false};   // camera A, B measured and lost its connection
    bool disconnected = false;       // a camera is not connected or not measuring
    bool clockStepped = false;
};

// The reason counted: a reboot request, silence, a disconnection, a clock step, else the full
// hour.
int resyncReasonOf(const resyncCause& cause);

// Tells the reason, once (a reboot request was told as it came).
void tellResyncReason(const resyncCause& cause);
