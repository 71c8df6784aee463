#include "output/frameRecord.h"

#include "sync/timeConv.h"

frameRecord::frameRecord()
    : isEmpty(false), isValid(false), intervalStart(0), intervalEnd(0), linePosition(0.0),
      cameraId(0) {
    resetRleFrameHeader(&header);
}

void placeRecord(frameRecord* record, const syncPointPtr& sync, uint64_t lineCounter) {
    placeLine(sync.data(), double(lineCounter), INTERVAL_LENGTH, &record->linePosition,
              &record->intervalStart, &record->intervalEnd);
}

void stampRecord(frameRecord* record, uint32_t cameraId) {
    if (isCamera(camFromId(cameraId)))
        record->cameraId = cameraId;
}
