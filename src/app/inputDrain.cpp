#include "app/inputDrain.h"

#include "platform/stationClock.h"
#include "platform/stopSignal.h"

namespace {

drainListener g_silent;

// Datafiles staged before they go to their completion, which runs while the next ones are
// read and staged: enough that the disk writes while the station reads, few enough that a
// datafile gets its final name soon.
const size_t STAGED_DATAFILES = 8;

// Tells the listener of the datafiles whose completion ended, as their first pairing round
// would have: each written or lost, then how many were written. `all`: completes every staged
// datafile before it returns; otherwise the staged ones go to their completion and the drain
// goes on reading.
int tellCompletion(datafileWriter& writer, drainListener* listener, bool all) {
    if (writer.stagedCount() == 0 && !writer.completing())
        return 0;
    const auto told = [&writer, listener](datafileOutcome outcome) {
        if (outcome == datafileOutcome::written)
            listener->datafileWritten(writer);
        else
            listener->datafileLost();
    };
    int written;
    if (all) {
        written = writer.completeStaged(told);
    } else {
        written = writer.finishCompletion(told);
        writer.startCompletion();
    }
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
                    total += tellCompletion(writer, listener, false);
            }
            // Staged datafiles are told when they are completed.
            if (!staged && writer.stagedCount() == 0)
                listener->pairingDone(0);
        }
    }
    // Every datafile staged in this pass has its final name when the pass ends.
    total += tellCompletion(*drain->writer, listener, true);
    return total;
}
