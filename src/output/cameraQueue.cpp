#include "output/cameraQueue.h"

#include "log/messageLog.h"
#include "output/frameOrder.h"

cameraQueue::cameraQueue(uint32_t cameraId)
    : m_readBuffer(makeCmprBuffer(QUEUE_READ_BUFFER_SIZE)), m_camera(camFromId(cameraId)) {
    resetCameraParams(&m_params);
    m_params.cameraId = int32_t(camId(m_camera));
}

uint32_t cameraQueue::role() const {
    return camId(camFromId(uint32_t(m_params.cameraId)));
}

frameRecord makeEmptyRecord(uint64_t lineCounter, uint16_t syncId, const syncList& syncs) {
    frameRecord record;
    record.isEmpty = true;
    uint64_t first = lineCounter == 0 ? 0 : lineCounter - 1;
    syncPointPtr sync = syncs.find(syncId);
    if (!sync || !sync->isValid())
        return record;
    placeRecord(&record, sync, first);
    record.sync = sync;
    record.header.compressedSize = 0;
    record.header.numLines = 1;
    record.header.lineCounter = first;
    record.header.syncId = syncId;
    record.isValid = true;
    return record;
}

bool appendEmptyFrame(cameraQueue& queue, uint64_t lineCounter, uint16_t syncId,
                      const syncList& syncs) {
    bool hadRecords = !queue.isEmpty();
    syncPointPtr sync = syncs.find(syncId);
    if (!sync || !sync->isValid())
        return false;
    frameDeque& frames = queue.frames();
    frames.push_back(makeEmptyRecord(lineCounter, syncId, syncs));
    if (!recordValid(frames.back())) {
        frames.pop_back();
        return false;
    }
    frameRecord& record = frames.back();
    if (queue.lines().repeats(record) ||
        (hadRecords && !follows(recordMayFollow(frames[frames.size() - 2], record)))) {
        logError(errorKind::frame,
                 QStringLiteral("error : empty frame with negative time jump -> drop"));
        frames.pop_back();
        return false;
    }
    queue.lines().take(record, syncs);
    if (hadRecords)
        stampRecord(&record, queue.cameraId());
    return true;
}
