// One synchronisation of the two cameras: its time with microseconds, the bounds of its
// local day, the station's committed parameter record and the 56-byte sync header that opens
// every datafile of it. Frames share it and keep it alive.
#pragma once

#include "codec/cmprBuffer.h"
#include "config/cameraParams.h"

#include <QSharedPointer>

#include <cstdint>

// Length of the serialised sync header.
const int SYNC_HEADER_SIZE = 56;

class syncPoint {
public:
    syncPoint();

    // Builds the syncPoint of a synchronisation made now from the station record `params`:
    // commits a copy of it at the sync second and serialises the header. The result tells
    // whether it became valid.
    bool build(const cameraParams& params);
    // As build(), at a given time (seconds with microseconds).
    bool buildAt(const cameraParams& params, double syncTime);

    // Valid: built, parameter record committed for the station role at a second above 0, and
    // a header of 56 bytes.
    bool isValid() const;

    // Accessors; a syncPoint that is not valid answers with the defaults.
    double syncTime() const;
    int32_t syncSecond() const;
    int32_t dayStart() const;
    int32_t dayEnd() const;
    uint16_t softwareVersion() const;
    uint16_t suSerialNr() const;
    double lineFrequency() const;
    uint16_t windowCentre() const;
    uint32_t left() const;
    uint32_t width() const;
    float planeBackLeft() const;
    float planeBackRight() const;
    float planeFrontRight() const;
    float xscaleA() const;
    float xscaleB() const;
    float distanceA() const;
    float distanceB() const;
    uint8_t normVideoLevel() const;
    int32_t threshold() const;
    // The committed record itself.
    const cameraParams& params() const { return m_params; }

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
    cameraParams m_params;
    cmprBufferPtr m_header;
};

typedef QSharedPointer<syncPoint> syncPointPtr;
