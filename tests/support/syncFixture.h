// Synchronisation helpers for tests: a station parameter record that commits, syncPoints made
// at a chosen time, and frame records placed by them.
#pragma once

#include "config/cameraParams.h"
#include "output/frameRecord.h"
#include "platform/stationClock.h"
#include "sync/syncList.h"
#include "sync/syncPoint.h"

// The default station record (role KIV), as the run loop's merge would give it.
cameraParams stationParams();

// A valid syncPoint made at `syncTime`.
syncPointPtr makeSyncPoint(double syncTime, double lineFrequency = 55172.0);

// A non-empty, valid record of `sync` at `lineCounter` with `lines` lines (16 bytes of data).
frameRecord makeFrameRecord(const syncPointPtr& sync, uint64_t lineCounter, uint32_t lines = 1,
                            uint16_t syncId = 0);
