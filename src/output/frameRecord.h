// A frame record: one run-length frame of one camera placed in time (line position since
// local midnight of its sync day, 3-second interval), with its bytes and its syncPoint
// shared. Records are copied by value.
#pragma once

#include "config/camera.h"
#include "format/cmprBuffer.h"
#include "format/rleFrame.h"
#include "sync/syncPoint.h"

#include <cstdint>

// Length of a datafile's interval in seconds.
const int32_t INTERVAL_LENGTH = 3;

struct frameRecord {
    frameRecord();

    bool isEmpty;          // a position in the line stream without image data
    bool isValid;          // built from a known, valid syncPoint
    int32_t intervalStart; // first second of the interval holding the first line
    int32_t intervalEnd;   // intervalStart + 3
    double linePosition;   // lines since local midnight of the sync day
    uint32_t cameraId;     // 0 until stamped: 1 = camera A, 2 = camera B
    rleFrameHeader header;
    // Header word, f64 line position, payload; null for an empty frame. Shared by the copies
    // of the record through a pooled handle rather than a cmprBufferPtr (see there).
    pooledCmprBufferPtr data;
    syncPointPtr sync;
};

// Valid: isValid set and either empty, or with data (capacity above 0) and a valid syncPoint.
inline bool recordValid(const frameRecord& record) {
    if (!record.isValid)
        return false;
    if (record.isEmpty)
        return true;
    return record.data && record.data->m_data && record.data->m_capacity > 0 && record.sync &&
           record.sync->isValid();
}

// Accessors answering neutral values for a record that is not valid. Pairing and the reader
// ask them for every frame, so they are inline.
inline int32_t recordIntervalStart(const frameRecord& r) {
    return recordValid(r) ? r.intervalStart : 0;
}
inline int32_t recordIntervalEnd(const frameRecord& r) {
    return recordValid(r) ? r.intervalEnd : 0;
}
inline double recordLinePosition(const frameRecord& r) {
    return recordValid(r) ? r.linePosition : 0.0;
}
inline uint32_t recordNumLines(const frameRecord& r) {
    return recordValid(r) ? r.header.numLines : 0;
}
inline uint16_t recordSyncId(const frameRecord& r) {
    return recordValid(r) ? r.header.syncId : 65535;
}
inline int32_t recordDayStart(const frameRecord& r) {
    return recordValid(r) && r.sync ? r.sync->dayStart() : 0;
}
// The clock epoch of a record's synchronisation (see syncPoint::clockEpoch()): records of a
// later epoch follow those of an earlier one, whatever their times.
inline uint32_t recordClockEpoch(const frameRecord& r) {
    return r.sync ? r.sync->clockEpoch() : 0;
}
// linePosition plus the number of lines.
inline double recordEndPosition(const frameRecord& r) {
    return recordLinePosition(r) + double(recordNumLines(r));
}

// Places a record at line counter `lineCounter` of `sync`: line position and interval.
void placeRecord(frameRecord* record, const syncPointPtr& sync, uint64_t lineCounter);

// Sets cameraId to 1 or 2; other values leave it unchanged.
void stampRecord(frameRecord* record, uint32_t cameraId);
