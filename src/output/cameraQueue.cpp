#include "output/cameraQueue.h"

#include "log/messageLog.h"

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
    std::deque<frameRecord>& frames = queue.frames();
    frames.push_back(makeEmptyRecord(lineCounter, syncId, syncs));
    if (!recordValid(frames.back())) {
        frames.pop_back();
        return false;
    }
    if (hadRecords) {
        const frameRecord& previous = frames[frames.size() - 2];
        const uint32_t epoch = recordClockEpoch(frames.back());
        // After a step of the wall clock the new synchronisation starts a fresh order.
        if (epoch < recordClockEpoch(previous) ||
            (epoch == recordClockEpoch(previous) &&
             recordStartsBeforeEndOf(previous, frames.back()))) {
            logError(errorKind::frame,
                     QStringLiteral("error : empty frame with negative time jump -> drop"));
            frames.pop_back();
            return false;
        }
        stampRecord(&frames.back(), queue.cameraId());
    }
    return true;
}
