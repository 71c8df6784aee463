#include "app/parameterPush.h"

#include "control/controlFiles.h"
#include "log/messageLog.h"

namespace {
const char* const CAMERA_A_CONF = "./camera.a.conf";
const char* const CAMERA_B_CONF = "./camera.b.conf";
const char* const STATION_PARAMS = "./acquire.par";

void setVideoLevels(cameraParams* p) {
    p->maxVideoLevel = p->normVideoLevel;
    p->minVideoLevel = minimumVideoLevel(p);
}
} // namespace

void prepareParameterRecords(cameraParams* a, cameraParams* b, cameraParams* station,
                             int operationMode) {
    bool preset = resetCameraParams(a) == 0 && resetCameraParams(b) == 0 &&
                  (!station || resetCameraParams(station) == 0);
    if (!preset)
        logWarning(QStringLiteral("warning : unable to preset acquire.par settings"));
    if (presetCameraSettingsFromConfFile(a, CAMERA_A_CONF) != 0)
        logWarning(QStringLiteral("warning : unable to read local camera config file"));
    if (presetCameraSettingsFromConfFile(b, CAMERA_B_CONF) != 0)
        logWarning(QStringLiteral("warning : unable to read local camera config file"));
    if (presetCameraSettingsFromConfFile(a, STATION_PARAMS) != 0 ||
        presetCameraSettingsFromConfFile(b, STATION_PARAMS) != 0)
        logWarning(QStringLiteral("warning : unable to read local acquire.par file"));
    a->cameraId = CAM_A;
    b->cameraId = CAM_B;
    a->operationMode = operationMode;
    b->operationMode = operationMode;
    setVideoLevels(a);
    setVideoLevels(b);
}

bool pushToBoth(const cameraInput& a, const cameraParams& pa, const cameraInput& b,
                const cameraParams& pb) {
    bool delivered = true;
    for (auto camera : {std::make_pair(&a, &pa), std::make_pair(&b, &pb)}) {
        if (!pushParameters(*camera.first, *camera.second)) {
            logInfo(QStringLiteral("restarting"));
            delivered = false;
        }
    }
    return delivered;
}

bool pushParameters(const cameraInput& camera, const cameraParams& params) {
    if (sendParameterFile(camera, params))
        return true;
    logError(errorKind::parameterPush,
             QStringLiteral("error : unable to send acquire.par file to camera %1")
                 .arg(QLatin1Char(camLetter(camera.camera()))));
    return false;
}
