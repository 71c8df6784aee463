// One synchronisation of the two cameras: its time with microseconds, the bounds of its
// local day, the station's committed parameter record and the 56-byte sync header that opens
// every datafile of it. Frames share it and keep it alive.
#pragma once

#include "config/cameraParams.h"
#include "format/cmprBuffer.h"
#include "format/datafileLayout.h"

#include <QSharedPointer>

#include <cstdint>

class syncPoint {
public:
    // Line frequency answered by a syncPoint that is not valid.
    static constexpr double DEFAULT_LINE_FREQUENCY = 55172.0;

    syncPoint();

    // Builds the syncPoint of a synchronisation made now from the station record `params`:
    // commits a copy of it at the sync second and serialises the header. The result tells
    // whether it became valid.
    bool build(const cameraParams& params);
    // As build(), at a given time (seconds with microseconds).
    bool buildAt(const cameraParams& params, double syncTime);

    // Valid: built, parameter record committed for the station role at a second above 0, and
    // a header of 56 bytes. Decided once when built (nothing changes a syncPoint afterwards):
    // it is asked many times for every frame.
    bool isValid() const { return m_valid; }

    // Accessors; a syncPoint that is not valid answers with the defaults.
    // The three a frame's place in time is computed from are asked for every frame: inline.
    double syncTime() const { return isValid() ? m_syncTime : 0.0; }
    int32_t syncSecond() const;
    int32_t dayStart() const { return isValid() ? m_dayStart : 0; }
    int32_t dayEnd() const { return isValid() ? m_dayEnd : 0; }
    double lineFrequency() const {
        return isValid() ? m_params.lineFrequency : DEFAULT_LINE_FREQUENCY;
    }
    // The committed record itself.
    const cameraParams& params() const { return m_params; }

    // The wall clock the times of this synchronisation are told by, as its offset from the
    // monotonic clock when it was made: "now" on that clock is the monotonic clock plus this,
    // also after the wall clock stepped.
    double clockOffset() const { return m_clockOffset; }
    // How many steps of the wall clock the synchronisation list had seen when this one was
    // made. Times of two synchronisations of different epochs are told by different clocks and
    // cannot be compared: everything of a later epoch follows everything of an earlier one.
    uint32_t clockEpoch() const { return m_clockEpoch; }
    void setClockEpoch(uint32_t epoch) { m_clockEpoch = epoch; }

    // The serialised sync header (null and 0 when not valid).
    const uint8_t* headerBytes() const;
    int32_t headerLength() const;

private:
    bool serialiseHeader();

    bool m_valid;
    double m_syncTime;
    int32_t m_syncSecond;
    int32_t m_dayStart;
    int32_t m_dayEnd;
    double m_clockOffset = 0.0;
    uint32_t m_clockEpoch = 0;
    cameraParams m_params;
    cmprBufferPtr m_header;
};

typedef QSharedPointer<syncPoint> syncPointPtr;
