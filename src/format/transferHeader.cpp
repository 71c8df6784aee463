#include "format/transferHeader.h"

namespace {

const int HEADER_PARAMS_SIZE = 42;
const uint8_t HEADER_MARKER = '*';

} // namespace

int parseTransferHeader(cmprBuffer* source, cameraParams* params) {
    resetCameraParams(params);
    if (!source || source->m_capacity < HEADER_PARAMS_SIZE ||
        source->m_readSize < HEADER_PARAMS_SIZE)
        return -1;
    uint8_t marker, cameraId, gain, offset, normVideoLevel, threshold;
    uint16_t version, serial, left, width;
    double lineFrequency;
    float xscale, distance, backLeft, backRight, frontRight;
    if (cmprReadU8(source, &marker) != 0 || marker != HEADER_MARKER)
        return -1;
    if (cmprReadU8(source, &cameraId) != 0 || cmprReadU16(source, &version) != 0 ||
        cmprReadU16(source, &serial) != 0 || cmprReadF64(source, &lineFrequency) != 0 ||
        cmprReadU16(source, &left) != 0 || cmprReadU16(source, &width) != 0 ||
        cmprReadU8(source, &gain) != 0 || cmprReadU8(source, &offset) != 0 ||
        cmprReadU8(source, &normVideoLevel) != 0 || cmprReadU8(source, &threshold) != 0 ||
        cmprReadF32(source, &xscale) != 0 || cmprReadF32(source, &distance) != 0 ||
        cmprReadF32(source, &backLeft) != 0 || cmprReadF32(source, &backRight) != 0 ||
        cmprReadF32(source, &frontRight) != 0)
        return -1;
    params->cameraId = (cameraId == CAM_A || cameraId == CAM_B) ? int32_t(cameraId) : 0;
    params->softwareVersion = version;
    params->suSerialNr = serial;
    params->lineFrequency = lineFrequency;
    params->left = left;
    params->width = width;
    params->normVideoLevel = normVideoLevel;
    params->threshold = threshold;
    params->planeBackLeft = backLeft;
    params->planeBackRight = backRight;
    params->planeFrontRight = frontRight;
    params->current.gain = gain;
    params->current.offset = int32_t(offset) - 127;
    params->current.xscale = xscale;
    params->current.distance = distance;
    if (params->cameraId == CAM_A) {
        params->camA.xscale = xscale;
        params->camA.distance = distance;
    } else if (params->cameraId == CAM_B) {
        params->camB.xscale = xscale;
        params->camB.distance = distance;
    }
    return 0;
}
