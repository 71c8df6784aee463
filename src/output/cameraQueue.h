// The frame queue of one camera: the records read from its transfer files in reading order,
// the read buffer for those files, and the camera parameter record of the latest header.
#pragma once

#include "config/camera.h"
#include "config/cameraParams.h"
#include "format/cmprBuffer.h"
#include "output/frameDeque.h"
#include "output/frameRecord.h"
#include "output/linesRead.h"
#include "sync/syncList.h"

#include <cstdint>

// Size of the read buffer a queue starts with.
const int32_t QUEUE_READ_BUFFER_SIZE = 524288;

class cameraQueue {
public:
    // `cameraId` 1 or 2 is also stored as the parameter record's role; other values leave
    // both 0.
    explicit cameraQueue(uint32_t cameraId);
    virtual ~cameraQueue() = default;

    // The camera role of the parameter record: the constructed camera until a transfer file
    // was read, then the role of the latest header.
    uint32_t role() const;
    // The camera the queue was built for (0 for neither).
    uint32_t cameraId() const { return camId(m_camera); }
    cam camera() const { return m_camera; }

    bool isEmpty() const { return m_frames.empty(); }
    size_t size() const { return m_frames.size(); }
    frameRecord front() const { return m_frames.front(); }
    void popFront() { m_frames.pop_front(); }

    frameDeque& frames() { return m_frames; }
    const frameDeque& frames() const { return m_frames; }
    cmprBufferPtr& readBuffer() { return m_readBuffer; }
    cameraParams& params() { return m_params; }
    const cameraParams& params() const { return m_params; }
    // The lines of each synchronisation read so far: they outlive the records, which pairing
    // and the writer take away.
    linesRead& lines() { return m_lines; }
    const linesRead& lines() const { return m_lines; }

private:
    frameDeque m_frames;
    linesRead m_lines;
    cmprBufferPtr m_readBuffer;
    cameraParams m_params;
    cam m_camera;
};

// Appends an empty record at the place (line counter, syncId) of the camera's line stream;
// true when it was kept. A record that may not follow the one before it, or that lies among
// lines already read, is dropped with a message.
bool appendEmptyFrame(cameraQueue& queue, uint64_t lineCounter, uint16_t syncId,
                      const syncList& syncs);

// Builds the empty record of a place; not valid when the syncId has no valid syncPoint.
frameRecord makeEmptyRecord(uint64_t lineCounter, uint16_t syncId, const syncList& syncs);
