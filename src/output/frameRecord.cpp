#include "output/frameRecord.h"

#include "output/timeConv.h"

frameRecord::frameRecord()
    : isEmpty(false), isValid(false), intervalStart(0), intervalEnd(0), linePosition(0.0),
      cameraId(0) {
    resetRleFrameHeader(&header);
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
