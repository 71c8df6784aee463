#include "app/inputDrain.h"

#include "platform/stationClock.h"
#include "platform/stopSignal.h"

namespace {

drainListener g_silent;

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
        if (frames && drain->writer->pairFrames(drain->cameraA->queue(), drain->cameraB->queue())) {
            int32_t written = 0;
            // A lost interval is reported by the writer; the intervals behind it go on now.
            for (datafileOutcome outcome;
                 (outcome = drain->writer->writeDatafile()) != datafileOutcome::notReady;) {
                if (outcome == datafileOutcome::written) {
                    ++written;
                    listener->datafileWritten(*drain->writer);
                } else {
                    listener->datafileLost();
                }
            }
            listener->pairingDone(written);
            total += written;
        }
    }
    return total;
}
