// The transfer-file reader. A camera computer hands its line data over in transfer files:
// a 56-byte header (parameters of the camera, syncId and line counter at the start, body
// length), the run-length frames, and a 10-byte trailer. The reader checks the header against
// the queue's camera and appends every frame, in time order, to the queue.
#pragma once

#include "format/transferHeader.h"
#include "output/cameraQueue.h"
#include "sync/syncList.h"

#include <QString>

// Reads the transfer file at `path` into `queue`. True when the file was read to its end and
// every frame was appended, or it had no frames and its trailer's place was appended as an
// empty frame. On false, the frames appended before the failure stay queued. A file that
// starts in a synchronisation of an earlier run is refused unread and without a message, and
// `earlierRun` (when given) set: the caller sums such files up after a restart.
bool readTransferFile(cameraQueue& queue, const QString& path, const syncList& syncs,
                      bool* earlierRun = nullptr);
