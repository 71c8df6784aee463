#include "input/transferFile.h"

#include "input/cameraInput.h"
#include "input/frameExtract.h"
#include "log/messageLog.h"
#include "output/frameOrder.h"
#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationClock.h"
#include "sync/timeConv.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

// The largest power of two an int32 capacity can hold.
const int64_t MAX_CAPACITY = int64_t(1) << 30;

// Closes the descriptor on every way out.
struct descriptorCloser {
    int fd;
    ~descriptorCloser() { close(fd); }
};

// Smallest power of two that is at least `size`; 0 when no int32 capacity is that large.
int32_t powerOfTwoAtLeast(int64_t size) {
    int64_t capacity = 1;
    while (capacity < size) {
        capacity <<= 1;
        if (capacity > MAX_CAPACITY)
            return 0;
    }
    return int32_t(capacity);
}

// How far a frame may lie ahead of the station clock: ten 3-s intervals. The line counters of
// a camera count from its synchronisation at the line frequency of its own clock, which
// drifts well under a second in the hour a synchronisation lasts; a frame further ahead is no
// frame the camera measured, and taken, it would stand in front of every later frame of the
// camera, each then refused as out of time order.
const double FRAME_AHEAD_LIMIT = 30.0;
// How long a synchronisation lasts: the station resynchronises at the next full hour at the
// latest, so no frame of a syncId lies more than an hour (and the limit above) after it.
const double SYNC_LIFETIME = 3600.0;

// True when the place of `record` in time is one its camera can have measured. "Now" is read
// on the clock of its synchronisation: after the wall clock stepped back, the frames of the
// synchronisation before the step still lie ahead of the stepped clock, and were measured.
// `monotonicNow` is read once per file: its frames are read in a moment.
bool frameTimePlausible(const frameRecord& record, double monotonicNow) {
    const syncPoint* sync = record.sync.data();
    const double time = absoluteTime(sync, double(record.header.lineCounter));
    const double now = std::floor(monotonicNow + sync->clockOffset());
    return time <= now + FRAME_AHEAD_LIMIT &&
           time <= sync->syncTime() + SYNC_LIFETIME + FRAME_AHEAD_LIMIT;
}

// A camera that was resynchronised starts its line stream afresh: queued frames of an earlier
// synchronisation that would lie after the first frame of the new one (the back of `frames`)
// cannot have been measured; they go, so that they hold back no frame of the new one. Returns
// how many went.
int dropOverlappedFrames(frameDeque& frames) {
    const frameRecord& current = frames.back();
    int dropped = 0;
    while (frames.size() > 1 && newerSynchronisation(frames[frames.size() - 2], current) &&
           recordMayFollow(frames[frames.size() - 2], current) == followVerdict::overlaps) {
        frames.erase(frames.end() - 2);
        ++dropped;
    }
    if (dropped > 0)
        logError(errorKind::frame,
                 QStringLiteral("error : %1 queued frames of an earlier synchronisation lie after "
                                "the start of syncId %2 -> dropped")
                     .arg(dropped)
                     .arg(current.header.syncId));
    return dropped;
}

void logFramesRefused(int count, const QString& path) {
    logError(errorKind::transferFile,
             QStringLiteral("error : %1 frames of transfer file %2 refused : their time lies more "
                            "than %3 s ahead of the station clock or beyond the hour of their "
                            "synchronisation")
                 .arg(count)
                 .arg(shownName(path))
                 .arg(FRAME_AHEAD_LIMIT));
}

void logNotReadable(const char* first, const QString& path) {
    logError(errorKind::transferFile, QString::fromLatin1(first));
    logError(errorKind::transferFile,
             QStringLiteral("error : tranfer file not readable %1").arg(shownName(path)));
}

// The header of the open transfer file, into the queue's read buffer and parameter record,
// checked against the queue's camera; false, told, when it cannot be read or is not valid.
bool readHeader(cameraQueue& queue, int fd, const QString& path, uint16_t* startSyncId,
                uint32_t* bodyLength) {
    cmprBufferPtr buffer = queue.readBuffer();
    if (!cmprUsable(buffer))
        return false;
    cmprReset(buffer.data());
    if (!readExactly(fd, buffer->m_data, size_t(TRANSFER_HEADER_SIZE))) {
        logNotReadable("error : unable to read transfer file header from file ", path);
        return false;
    }
    buffer->m_readSize = TRANSFER_HEADER_SIZE;

    // The header is checked against the camera the queue was built for, not against the
    // role the parse has just written: one misplaced file of the other camera must not turn
    // this queue into that camera.
    bool valid = parseTransferHeader(buffer.data(), &queue.params()) == 0;
    uint32_t fileCamera = uint32_t(queue.params().cameraId);
    if (queue.cameraId() != 0 && queue.cameraId() != fileCamera)
        valid = false;
    uint64_t startLineCounter;
    if (cmprReadU16(buffer.data(), startSyncId) != 0 ||
        cmprReadU64(buffer.data(), &startLineCounter) != 0 ||
        cmprReadU32(buffer.data(), bodyLength) != 0)
        valid = false;
    if (!valid)
        logNotReadable("error : invalid transfer file header structure for file ", path);
    return valid;
}

// The body and trailer of `bodyLength` bytes into the queue's read buffer, grown when it is
// too small; false when they are not there whole or cannot be held. `left`: the bytes of the
// file after its header.
bool readBody(cameraQueue& queue, int fd, const QString& path, uint32_t bodyLength, int64_t left) {
    int64_t readSize = int64_t(bodyLength) + TRANSFER_TRAILER_SIZE;
    // A damaged header may claim a body that is not there: refuse it like a short read,
    // before any memory is taken for it.
    if (left < readSize)
        return false;
    if (readSize + TRANSFER_HEADER_SIZE > MAX_TRANSFER_FILE_SIZE) {
        logNotReadable("error : transfer file body larger than a camera writes in one file ", path);
        return false;
    }
    cmprBufferPtr buffer = queue.readBuffer();
    if (int64_t(buffer->m_capacity) > readSize) {
        cmprReset(buffer.data());
    } else {
        int32_t capacity = powerOfTwoAtLeast(readSize + 2);
        cmprBufferPtr grown = capacity > 0 ? makeCmprBuffer(capacity) : cmprBufferPtr();
        if (!grown) {
            logError(errorKind::transferFile,
                     QStringLiteral("error : unable to allocate cmprBuffer for transfer file "));
            return false;
        }
        queue.readBuffer() = grown;
        buffer = grown;
    }
    if (!readExactly(fd, buffer->m_data, size_t(readSize)))
        return false;
    buffer->m_readSize = int32_t(readSize);
    return true;
}

// What takeFrames made of the body's frames.
struct framesTaken {
    bool ok = true;  // no frame ended the file
    size_t read = 0; // appended to the queue
    int refused = 0; // refused alone: their time lies too far ahead
};

// Appends the frames of the body in the read buffer to the queue, in order. A frame that is
// not valid, or may not follow the one before it, ends the file (the frames before it stay);
// one that repeats lines already read takes back every frame of the file and the lines it
// marked read.
framesTaken takeFrames(cameraQueue& queue, const syncList& syncs, double monotonicNow) {
    framesTaken taken;
    cmprBuffer* buffer = queue.readBuffer().data();
    frameDeque& frames = queue.frames();
    // What was read before this file: a file that repeats lines already read is refused whole.
    const linesRead before = queue.lines();
    // The record the next one must follow. Held by address, not found again by index for
    // every frame: a deque that grows or shrinks at its back leaves its other records where
    // they are (only the drop of overlapped frames moves them).
    const frameRecord* previous = frames.empty() ? nullptr : &frames.back();
    while (buffer->m_readSize > TRANSFER_TRAILER_SIZE) {
        frameRecord* record = &frames.emplace_back();
        extractFrame(record, buffer, syncs);
        if (!recordValid(*record)) {
            logError(errorKind::transferFile,
                     QStringLiteral("error : retrieved frame is invalid "));
            frames.pop_back();
            taken.ok = false;
            return taken;
        }
        if (!frameTimePlausible(*record, monotonicNow)) {
            // Refused alone: the frames around it in the file may well be good.
            frames.pop_back();
            ++taken.refused;
            continue;
        }
        if (queue.lines().repeats(*record)) {
            // The camera delivered these lines before (a copy repeated after a network error):
            // none of the file's frames may reach a datafile a second time.
            frames.erase(frames.end() - std::ptrdiff_t(taken.read) - 1, frames.end());
            queue.lines() = before;
            taken.ok = false;
            taken.read = 0;
            return taken;
        }
        if (previous && newerSynchronisation(*previous, *record)) {
            taken.read -= std::min(taken.read, size_t(dropOverlappedFrames(frames)));
            record = &frames.back();
            previous = frames.size() > 1 ? &frames[frames.size() - 2] : nullptr;
        }
        if (previous) {
            const followVerdict order = recordMayFollow(*previous, *record);
            if (!follows(order)) {
                frames.pop_back();
                taken.ok = false;
                return taken;
            }
            if (order == followVerdict::nextDay)
                logInfo(QStringLiteral("info : midnight jump in data"));
        }
        queue.lines().take(*record, syncs);
        ++taken.read;
        stampRecord(record, queue.role());
        previous = record;
    }
    return taken;
}

// A file without frames: the place its trailer marks, appended as an empty frame.
bool takeEmptyPlace(cameraQueue& queue, const QString& path, const syncList& syncs,
                    double monotonicNow) {
    cmprBuffer* buffer = queue.readBuffer().data();
    uint16_t trailerSyncId;
    uint64_t trailerLineCounter;
    if (buffer->m_readSize == TRANSFER_TRAILER_SIZE && cmprReadU16(buffer, &trailerSyncId) == 0 &&
        cmprReadU64(buffer, &trailerLineCounter) == 0) {
        // The place an empty file marks is held to the same bounds as a frame.
        const frameRecord place = makeEmptyRecord(trailerLineCounter, trailerSyncId, syncs);
        if (recordValid(place) && !frameTimePlausible(place, monotonicNow)) {
            logFramesRefused(1, path);
            return false;
        }
        return appendEmptyFrame(queue, trailerLineCounter, trailerSyncId, syncs);
    }
    logError(errorKind::transferFile, QStringLiteral("error : unable to retrieve line counter "));
    return false;
}

} // namespace

bool readTransferFile(cameraQueue& queue, const QString& path, const syncList& syncs,
                      bool* earlierRun) {
    if (earlierRun)
        *earlierRun = false;
    // The full path is opened: a path cut short would fail to open and the unread file
    // would then be deleted.
    // The file came from a camera share: a link or FIFO that took its place is not opened.
    int64_t size = 0;
    const int fd = openRegularDescriptor(path, &size);
    if (fd < 0) {
        const int error = errno;
        logToStandardError(severity::error, errorKind::transferFile,
                           QStringLiteral("fopen p_path2file : %1\n")
                               .arg(QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    descriptorCloser closer{fd};

    uint16_t startSyncId = 0;
    uint32_t bodyLength = 0;
    if (!readHeader(queue, fd, path, &startSyncId, &bodyLength))
        return false;
    if (earlierRun && syncs.fromEarlierRun(startSyncId)) {
        *earlierRun = true;
        return false;
    }
    if (!readBody(queue, fd, path, bodyLength, size - TRANSFER_HEADER_SIZE))
        return false;

    const double monotonicNow = currentClock().monotonic();
    const framesTaken taken = takeFrames(queue, syncs, monotonicNow);
    // A frame that ended the file ends it there: the frames refused before it go untold.
    if (!taken.ok)
        return false;
    if (taken.refused > 0)
        logFramesRefused(taken.refused, path);
    if (taken.read > 0)
        return true;
    if (taken.refused > 0)
        return false;
    return takeEmptyPlace(queue, path, syncs, monotonicNow);
}
