#include "output/frameRecord.h"

#include "output/timeConv.h"

frameRecord::frameRecord()
    : isEmpty(false), isValid(false), intervalStart(0), intervalEnd(0), linePosition(0.0),
      cameraId(0) {
    resetRleFrameHeader(&header);
}

bool recordValid(const frameRecord& record) {
    if (!record.isValid)
        return false;
    if (record.isEmpty)
        return true;
    return record.data && record.data->m_data && record.data->m_capacity > 0 && record.sync &&
           record.sync->isValid();
}

int32_t recordIntervalStart(const frameRecord& r) {
    return recordValid(r) ? r.intervalStart : 0;
}
int32_t recordIntervalEnd(const frameRecord& r) {
    return recordValid(r) ? r.intervalEnd : 0;
}
double recordLinePosition(const frameRecord& r) {
    return recordValid(r) ? r.linePosition : 0.0;
}
uint32_t recordNumLines(const frameRecord& r) {
    return recordValid(r) ? r.header.numLines : 0;
}
uint16_t recordSyncId(const frameRecord& r) {
    return recordValid(r) ? r.header.syncId : 65535;
}

int32_t recordDayStart(const frameRecord& r) {
    return recordValid(r) && r.sync ? r.sync->dayStart() : 0;
}

double recordEndPosition(const frameRecord& r) {
    return recordLinePosition(r) + double(recordNumLines(r));
}

void placeRecord(frameRecord* record, const syncPointPtr& sync, uint64_t lineCounter) {
    const syncPoint* s = sync.data();
    double l = double(lineCounter);
    record->linePosition = linePosition(s, l);
    record->intervalStart = intervalStart(s, l, INTERVAL_LENGTH);
    record->intervalEnd = intervalEnd(s, l, INTERVAL_LENGTH);
}

void stampRecord(frameRecord* record, uint32_t cameraId) {
    if (cameraId == 1 || cameraId == 2)
        record->cameraId = cameraId;
}
