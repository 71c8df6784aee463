#include "support/syncFixture.h"

cameraParams stationParams() {
    cameraParams params;
    resetCameraParams(&params);
    params.cameraId = CAM_KIV;
    return params;
}

syncPointPtr makeSyncPoint(double syncTime, double lineFrequency) {
    cameraParams params = stationParams();
    params.lineFrequency = lineFrequency;
    syncPointPtr point(new syncPoint());
    point->buildAt(params, syncTime);
    return point;
}

frameRecord makeFrameRecord(const syncPointPtr& sync, uint64_t lineCounter, uint32_t lines,
                            uint16_t syncId) {
    frameRecord r;
    placeRecord(&r, sync, lineCounter);
    r.sync = sync;
    r.data = makePooledCmprBuffer(16);
    r.header.numLines = lines;
    r.header.lineCounter = lineCounter;
    r.header.syncId = syncId;
    r.isValid = true;
    return r;
}
