#include "support/transferFiles.h"

cameraParams cameraRecord(int camera) {
    cameraParams params;
    resetCameraParams(&params);
    params.cameraId = camera;
    return params;
}

QByteArray transferFile(int camera, uint16_t syncId, uint64_t firstLine,
                        const std::vector<frameBytes>& frames, uint64_t endLine) {
    return buildTransferFile(cameraRecord(camera), syncId, firstLine, frames, syncId, endLine);
}

QString transferName(int camera, int64_t index) {
    return QStringLiteral("%1.%2.cam")
        .arg(qlonglong(index), 9, 10, QLatin1Char('0'))
        .arg(camera == 1 ? QLatin1Char('a') : QLatin1Char('b'));
}
