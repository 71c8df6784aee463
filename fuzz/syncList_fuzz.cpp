// The sync list loader on an arbitrary file of the day. Whatever it takes in, the next
// synchronisation must follow the loaded numbering (the first syncId after the current one that
// the day's file does not hold), never reuse a number of the file, and be findable.
#include "fuzzSupport.h"

#include "sync/syncList.h"

#include <QFile>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static syncList* syncs = [] {
        syncList* s = new syncList();
        s->setDirectory(fuzzScratchDir());
        return s;
    }();
    const QString file = syncs->fileFor(int64_t(FUZZ_NOW));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    out.write(reinterpret_cast<const char*>(data), qint64(size));
    out.close();
    syncs->load();
    uint16_t expected = uint16_t(syncs->currentSyncId() + 1);
    for (int tried = 0;
         tried < 65536 && (expected == NO_SYNC_ID || syncs->fromEarlierRun(expected)); ++tried)
        expected = uint16_t(expected + 1);
    cameraParams station;
    resetCameraParams(&station);
    station.cameraId = CAM_KIV;
    if (!syncs->addSync(station))
        std::abort();
    uint16_t added = syncs->currentSyncId();
    if (added != expected || !syncs->find(added))
        std::abort();
    return 0;
}
