#include "app/inputDrain.h"

#include "platform/stationClock.h"
#include "platform/stopSignal.h"

namespace {

drainListener g_silent;

// Datafiles staged before the drain waits for their syncs: enough that the disk writes while
// the next intervals are read, few enough that a datafile gets its final name soon.
const size_t STAGED_DATAFILES = 8;

int completeStaged(datafileWriter& writer, drainListener* listener) {
    const int written = writer.completeStaged([&writer, listener](datafileOutcome outcome) {
        if (outcome == datafileOutcome::written)
            listener->datafileWritten(writer);
        else
            listener->datafileLost();
    });
    listener->pairingDone(written);
    return written;
}

} // namespace

int drainInput(inputDrain* drain, int64_t lastTick, drainListener* listener) {
    if (!listener)
        listener = &g_silent;
    int total = 0;
    while ((drain->pendingA || drain->pendingB) && monotonicSecond() <= lastTick &&
           !stopRequested()) {
        bool frames = false;
        for (bool a : {true, false}) {
            bool& pending = a ? drain->pendingA : drain->pendingB;
            if (!pending)
                continue;
            cameraInput& camera = a ? *drain->cameraA : *drain->cameraB;
            const uint8_t result = camera.processNextFile();
            listener->fileProcessed(camera, result);
            if (result & PROCESSED_TRANSFER) {
                frames = true;
            } else {
                // A file that was refused and deleted leaves the camera's other files waiting:
                // go on with them now, not only after the next poll that moves something. A
                // file that could not be deleted ends the pass (it would come back first).
                pending = result != 0 || camera.lastFile().taken;
            }
        }
        datafileWriter& writer = *drain->writer;
        if (frames && writer.pairFrames(drain->cameraA->queue(), drain->cameraB->queue())) {
            // A lost interval is reported by the writer; the intervals behind it go on now.
            bool staged = false;
            for (datafileOutcome outcome;
                 (outcome = writer.stageDatafile()) != datafileOutcome::notReady;) {
                if (outcome == datafileOutcome::lost) {
                    listener->datafileLost();
                    continue;
                }
                staged = true;
                if (writer.stagedCount() >= STAGED_DATAFILES)
                    total += completeStaged(writer, listener);
            }
            // Staged datafiles are told when they are completed.
            if (!staged && writer.stagedCount() == 0)
                listener->pairingDone(0);
        }
    }
    // Every datafile staged in this pass has its final name when the pass ends.
    if (drain->writer->stagedCount() > 0)
        total += completeStaged(*drain->writer, listener);
    return total;
}
