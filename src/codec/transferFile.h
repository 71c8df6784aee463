// The transfer-file reader. A camera computer hands its line data over in transfer files:
// a 56-byte header (parameters of the camera, syncId and line counter at the start, body
// length), the run-length frames, and a 10-byte trailer. The reader checks the header against
// the queue's camera and appends every frame, in time order, to the queue.
#pragma once

#include "output/cameraQueue.h"
#include "output/syncList.h"

#include <QString>

// Size of the transfer file header and trailer.
const int TRANSFER_HEADER_SIZE = 56;
const int TRANSFER_TRAILER_SIZE = 10;

// Reads the transfer file at `path` into `queue`. True when the file was read to its end and
// every frame was appended, or it had no frames and its trailer's place was appended as an
// empty frame. On false, the frames appended before the failure stay queued.
bool readTransferFile(cameraQueue& queue, const QString& path, const syncList& syncs);

// Fills `params` (reset first) from the 42 parameter bytes of a transfer file header at the
// read cursor of `source`; 0, or -1 when the bytes are not a header.
int parseTransferHeader(cmprBuffer* source, cameraParams* params);
