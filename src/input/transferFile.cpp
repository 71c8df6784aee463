#include "input/transferFile.h"

#include "input/frameExtract.h"
#include "log/messageLog.h"
#include "platform/fileOps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The largest power of two an int32 capacity can hold.
const int64_t MAX_CAPACITY = int64_t(1) << 30;

// Closes the file on every way out.
struct fileCloser {
    FILE* file;
    ~fileCloser() {
        if (file)
            std::fclose(file);
    }
};

int64_t bytesLeftInFile(FILE* file) {
    struct stat st;
    long position = std::ftell(file);
    if (position < 0 || fstat(fileno(file), &st) != 0)
        return -1;
    return int64_t(st.st_size) - int64_t(position);
}

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

void logNotReadable(const char* first, const QString& path) {
    logError(errorKind::transferFile, QString::fromLatin1(first));
    logError(errorKind::transferFile,
             QStringLiteral("error : tranfer file not readable %1").arg(path));
}

} // namespace

bool readTransferFile(cameraQueue& queue, const QString& path, const syncList& syncs) {
    // The full path is opened: a path cut short would fail to open and the unread file
    // would then be deleted.
    FILE* file = openFile(path, "rb");
    if (!file) {
        const int error = errno;
        logToStandardError(severity::error, errorKind::transferFile,
                           QStringLiteral("fopen p_path2file : %1\n")
                               .arg(QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    fileCloser closer{file};

    cmprBufferPtr buffer = queue.readBuffer();
    if (!cmprUsable(buffer))
        return false;
    cmprReset(buffer.data());
    if (std::fread(buffer->m_data, 1, TRANSFER_HEADER_SIZE, file) != size_t(TRANSFER_HEADER_SIZE)) {
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
    uint16_t startSyncId;
    uint64_t startLineCounter;
    uint32_t bodyLength = 0;
    if (cmprReadU16(buffer.data(), &startSyncId) != 0 ||
        cmprReadU64(buffer.data(), &startLineCounter) != 0 ||
        cmprReadU32(buffer.data(), &bodyLength) != 0)
        valid = false;
    if (!valid) {
        logNotReadable("error : invalid transfer file header structure for file ", path);
        return false;
    }

    int64_t readSize = int64_t(bodyLength) + TRANSFER_TRAILER_SIZE;
    // A damaged header may claim a body that is not there: refuse it like a short read,
    // before any memory is taken for it.
    int64_t left = bytesLeftInFile(file);
    if (left >= 0 && left < readSize)
        return false;
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

    size_t count = std::fread(buffer->m_data, 1, size_t(readSize), file);
    if (count == 0 || count != size_t(readSize))
        return false;
    buffer->m_readSize = int32_t(readSize);

    std::deque<frameRecord>& frames = queue.frames();
    int framesRead = 0;
    while (buffer->m_readSize > TRANSFER_TRAILER_SIZE) {
        bool hadRecords = !frames.empty();
        frames.emplace_back();
        extractFrame(&frames.back(), buffer.data(), syncs);
        if (!recordValid(frames.back())) {
            logError(errorKind::transferFile,
                     QStringLiteral("error : retrieved frame is invalid "));
            frames.pop_back();
            return false;
        }
        if (hadRecords) {
            const frameRecord& previous = frames[frames.size() - 2];
            const frameRecord& current = frames.back();
            if (recordDayStart(current) <= recordDayStart(previous)) {
                if (recordStartsBeforeEndOf(previous, current)) {
                    frames.pop_back();
                    return false;
                }
            } else {
                logInfo(QStringLiteral("info : midnight jump in data"));
            }
        }
        ++framesRead;
        stampRecord(&frames.back(), queue.role());
    }

    if (framesRead > 0)
        return true;
    uint16_t trailerSyncId;
    uint64_t trailerLineCounter;
    if (buffer->m_readSize == TRANSFER_TRAILER_SIZE &&
        cmprReadU16(buffer.data(), &trailerSyncId) == 0 &&
        cmprReadU64(buffer.data(), &trailerLineCounter) == 0)
        return appendEmptyFrame(queue, trailerLineCounter, trailerSyncId, syncs);
    logError(errorKind::transferFile, QStringLiteral("error : unable to retrieve line counter "));
    return false;
}
