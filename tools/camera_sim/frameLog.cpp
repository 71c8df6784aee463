#include "frameLog.h"

#include "format/rleFrame.h"
#include "platform/fileOps.h"

#include <cinttypes>
#include <cstring>

uint64_t fnv1a64(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

frameLog::frameLog(const QString& path) : m_file(openFile(path, "a")) {}

frameLog::~frameLog() {
    if (m_file)
        fclose(m_file);
}

void frameLog::logFrame(char camera, const frameBytes& frame) {
    if (!m_file || frame.size() < size_t(RLE_FRAME_AUX_HEAD_OFFSET))
        return;
    uint16_t syncId;
    uint64_t lineCounter;
    uint16_t numLines;
    std::memcpy(&syncId, frame.data() + 4, 2);
    std::memcpy(&lineCounter, frame.data() + 6, 8);
    std::memcpy(&numLines, frame.data() + 14, 2);
    const uint8_t* payload = frame.data() + RLE_FRAME_AUX_HEAD_OFFSET;
    size_t size = frame.size() - size_t(RLE_FRAME_AUX_HEAD_OFFSET);
    fprintf(m_file, "frame %c %u %" PRIu64 " %u %zu %016" PRIx64 "\n", camera, unsigned(syncId),
            lineCounter, unsigned(numLines), size, fnv1a64(payload, size));
    fflush(m_file);
}

void frameLog::logFile(char camera, const char* kind, const QString& name, size_t frames) {
    if (!m_file)
        return;
    fprintf(m_file, "file %c %s %s %zu\n", camera, kind, name.toLocal8Bit().constData(), frames);
    fflush(m_file);
}
