// A simulated day of datafiles for the day view: the camera simulator's rain, seen by both
// cameras, through the station's own input processing, pairing and datafile writer. Rain may
// change its intensity by the hour, and camera A may look through a dirty spot on its window:
// a shadow on every line.
#pragma once

#include "benchSupport.h"
#include "format/rleCodec.h"

#include <QString>

#include <functional>

struct daySimulation {
    double start = 0;  // UTC second of the first line
    int seconds = 0;   // of lines made
    uint64_t seed = 1; // of the rain
    // Drops per second at `second` (from the start); rain of one intensity repeats every
    // `distinctSeconds` seconds, so that heavy rain is made quickly.
    std::function<double(int second)> dropsPerSecond;
    int distinctSeconds = 0; // 0: every second its own rain
    // A dirty spot on camera A's window from `dirtyFrom` to `dirtyTo` (seconds from the start).
    int dirtyFrom = -1;
    int dirtyTo = -1;
    shadowSegment dirtySpot{300, 4};
};

// Writes the simulated day into `station`'s datafile directory; the datafiles written.
int simulateDay(benchStation* station, const daySimulation& day);
