// The input drain of the measurement phase: the files the polls moved into the working
// directory are handled one per camera in turn, the frames paired and every complete interval
// written, until nothing waits, the processing window has passed or a stop is asked for. A
// datafile is staged when written and completed (synced and named) a few datafiles later or
// at the end of the pass at the latest, so that the disk writes while the next files are read.
// The run loop, the benchmarks and the golden-datafile test all run this one drain.
#pragma once

#include "input/cameraInput.h"
#include "output/datafileWriter.h"

#include <cstdint>

// Input of one cycle is processed until this many seconds after the newest data.
const int64_t STATION_PROCESSING_WINDOW = 3;

// Told what the drain did; the run loop feeds the screen and the health files from it.
class drainListener {
public:
    virtual ~drainListener() = default;
    // A file of `camera` was handled with the PROCESSED_ result `result`.
    virtual void fileProcessed(cameraInput& camera, uint8_t result) {
        (void)camera;
        (void)result;
    }
    // A datafile was written and got its final name (the writer names it).
    virtual void datafileWritten(const datafileWriter& writer) { (void)writer; }
    // An interval was taken off the paired queue but its datafile could not be written.
    virtual void datafileLost() {}
    // Staged datafiles were completed, `written` of them written; or a pairing round ended
    // with none staged (0).
    virtual void pairingDone(int32_t written) { (void)written; }
};

struct inputDrain {
    cameraInput* cameraA;
    cameraInput* cameraB;
    datafileWriter* writer;
    // Which cameras have files waiting; the drain clears a camera's flag when it has none left.
    bool pendingA = false;
    bool pendingB = false;
};

// Drains while a camera is pending, the monotonic clock is at or before second `lastTick` and
// no stop is requested; the number of datafiles written. None is left staged.
int drainInput(inputDrain* drain, int64_t lastTick, drainListener* listener);
