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
