#include "sync/syncPoint.h"

#include "platform/clockStepWatch.h"
#include "platform/stationClock.h"
#include "sync/timeConv.h"

#include <cmath>

namespace {

const int HEADER_CAPACITY = 64;

} // namespace

syncPoint::syncPoint()
    : m_valid(false), m_syncTime(0.0), m_syncSecond(0), m_dayStart(0), m_dayEnd(0) {
    resetCameraParams(&m_params);
}

bool syncPoint::build(const cameraParams& params) {
    return buildAt(params, nowWithMicroseconds());
}

bool syncPoint::buildAt(const cameraParams& params, double syncTime) {
    m_valid = false;
    resetCameraParams(&m_params);
    m_syncTime = syncTime;
    m_clockOffset = wallMinusMonotonic();
    if (!m_header)
        m_header = makeCmprBuffer(HEADER_CAPACITY);
    m_syncSecond = clampToInt32(std::floor(syncTime));
    m_dayStart = localMidnight(m_syncSecond);
    m_dayEnd = nextLocalMidnight(m_syncSecond);
    m_params = params;
    if (commitCameraSettingsPreset(&m_params, m_syncSecond) != 0)
        return false;
    m_valid = serialiseHeader() && m_params.cameraId == CAM_KIV && m_params.commitState == 0 &&
              m_params.commitTime > 0 && m_header->m_capacity >= SYNC_HEADER_SIZE;
    return m_valid;
}

bool syncPoint::serialiseHeader() {
    cmprBuffer* h = m_header.data();
    if (!cmprUsable(h))
        return false;
    cmprReset(h);
    const cameraParams& p = m_params;
    uint32_t localSecond = uint32_t(int64_t(m_syncSecond) + localOffset(m_syncSecond));
    bool ok = cmprWriteU16(h, SYNC_HEADER_SIZE) == 0 && cmprWriteU16(h, p.softwareVersion) == 0 &&
              cmprWriteU16(h, p.suSerialNr) == 0 && cmprWriteF64(h, p.lineFrequency) == 0 &&
              cmprWriteU16(h, p.windowCentre) == 0 && cmprWriteU16(h, uint16_t(p.left)) == 0 &&
              cmprWriteU16(h, uint16_t(p.left + p.width)) == 0 &&
              cmprWriteF32(h, p.planeBackLeft) == 0 && cmprWriteF32(h, p.planeBackRight) == 0 &&
              cmprWriteF32(h, p.planeFrontRight) == 0 && cmprWriteF32(h, p.camA.xscale) == 0 &&
              cmprWriteF32(h, p.camB.xscale) == 0 && cmprWriteF32(h, p.camA.distance) == 0 &&
              cmprWriteF32(h, p.camB.distance) == 0 && cmprWriteU16(h, p.normVideoLevel) == 0 &&
              cmprWriteU16(h, uint16_t(p.threshold)) == 0 && cmprWriteU32(h, localSecond) == 0;
    if (!ok || h->m_writeSize != SYNC_HEADER_SIZE) {
        cmprReset(h);
        return false;
    }
    return true;
}

int32_t syncPoint::syncSecond() const {
    return isValid() ? m_syncSecond : 0;
}

const uint8_t* syncPoint::headerBytes() const {
    return isValid() ? m_header->m_data : nullptr;
}
int32_t syncPoint::headerLength() const {
    return isValid() ? m_header->m_writeSize : 0;
}
