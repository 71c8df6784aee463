// Synchronisation helpers for tests: a station parameter record that commits, and syncPoints
// and sync lists made at a chosen time on the simulated clock.
#pragma once

#include "config/cameraParams.h"
#include "platform/stationClock.h"
#include "sync/syncList.h"
#include "sync/syncPoint.h"

// The default station record (role KIV), as the run loop's merge would give it.
cameraParams stationParams();

// A valid syncPoint made at `syncTime`.
syncPointPtr makeSyncPoint(double syncTime, double lineFrequency = 55172.0);
