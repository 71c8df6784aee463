// The sync list loader on an arbitrary file of the day. Whatever it takes in, the next
// synchronisation must follow the loaded numbering (the syncId after the current one) and be
// findable.
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
    uint16_t before = syncs->currentSyncId();
    cameraParams station;
    resetCameraParams(&station);
    station.cameraId = CAM_KIV;
    if (!syncs->addSync(station))
        std::abort();
    uint16_t added = syncs->currentSyncId();
    if (added != uint16_t(before + 1) || !syncs->find(added))
        std::abort();
    return 0;
}
