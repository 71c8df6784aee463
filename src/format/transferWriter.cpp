#include "format/transferWriter.h"

#include <cstring>

namespace {

template <typename T> void put(QByteArray* out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T)); // the station computers are little-endian
    out->append(bytes, int(sizeof(T)));
}

} // namespace

QByteArray transferHeader(const cameraParams& params, uint16_t syncId, uint64_t lineCounter,
                          uint32_t bodyLength) {
    const cameraBlock& own = params.cameraId == CAM_B ? params.camB : params.camA;
    int offset = own.offset + 127;
    QByteArray out;
    put<uint8_t>(&out, '*');
    put<uint8_t>(&out, uint8_t(params.cameraId));
    put<uint16_t>(&out, params.softwareVersion);
    put<uint16_t>(&out, params.suSerialNr);
    put<double>(&out, params.lineFrequency);
    put<uint16_t>(&out, uint16_t(params.left));
    put<uint16_t>(&out, uint16_t(params.width));
    put<uint8_t>(&out, uint8_t(own.gain));
    put<uint8_t>(&out, uint8_t(offset < 0 ? 0 : offset > 255 ? 255 : offset));
    put<uint8_t>(&out, params.normVideoLevel);
    put<uint8_t>(&out, uint8_t(params.threshold));
    put<float>(&out, own.xscale);
    put<float>(&out, own.distance);
    put<float>(&out, params.planeBackLeft);
    put<float>(&out, params.planeBackRight);
    put<float>(&out, params.planeFrontRight);
    put<uint16_t>(&out, syncId);
    put<uint64_t>(&out, lineCounter);
    put<uint32_t>(&out, bodyLength);
    return out;
}

QByteArray buildTransferFile(const cameraParams& params, uint16_t syncId, uint64_t lineCounter,
                             const std::vector<frameBytes>& frames, uint16_t endSyncId,
                             uint64_t endLineCounter) {
    uint32_t body = 0;
    for (const frameBytes& frame : frames)
        body += uint32_t(frame.size());
    QByteArray out = transferHeader(params, syncId, lineCounter, body);
    out.reserve(out.size() + int(body) + 10);
    for (const frameBytes& frame : frames)
        out.append(reinterpret_cast<const char*>(frame.data()), int(frame.size()));
    put<uint16_t>(&out, endSyncId);
    put<uint64_t>(&out, endLineCounter);
    return out;
}
