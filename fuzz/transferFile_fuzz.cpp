// The transfer-file reader on arbitrary files, into the queue of camera A, of camera B or of
// neither (the first byte chooses), with a sync list that knows syncIds 0 to 3; every record
// queued is then measured the way pairing and the datafile writer measure it.
#include "fuzzSupport.h"

#include "input/transferFile.h"
#include "output/pairing.h"
#include "platform/stationClock.h"
#include "sync/syncList.h"

namespace {

syncList* knownSyncs() {
    static syncList* syncs = [] {
        syncList* list = new syncList();
        cameraParams station;
        resetCameraParams(&station);
        station.cameraId = CAM_KIV;
        for (int i = 0; i < 4; ++i)
            list->addSync(station);
        return list;
    }();
    return syncs;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    knownSyncs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    uint32_t camera = data[0] % 3;
    const QString path = fuzzWriteFile("input.a.cam", data + 1, size - 1);
    cameraQueue queue(camera);
    cameraQueue other(camera == 1 ? 2 : 1);
    bool read = readTransferFile(queue, path, *knownSyncs());
    // A second reading into the same queue meets the frames of the first: the time-order
    // checks across files run too.
    if (read)
        readTransferFile(queue, path, *knownSyncs());
    // What the pairing and the writer take from every record.
    double end = 0.0;
    for (const frameRecord& record : queue.frames())
        end += recordEndPosition(record) + recordIntervalEnd(record) + recordSyncId(record);
    pairedQueue paired;
    pairFrames(paired, queue, other);
    return end < 0.0 ? 1 : 0;
}
