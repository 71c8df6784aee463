#include "input/frameExtract.h"

#include "format/rleFrame.h"
#include "log/messageLog.h"

#include <cstring>

namespace {

// The source must hold more than an aux header and a transfer file trailer.
const int32_t MIN_SOURCE_BYTES = 26;
const int32_t TRAILER_SIZE = 10;
// Bytes of a record's copy in front of the payload: header word and f64 line position.
const int32_t RECORD_HEAD_SIZE = 12;

// Header word, line position and payload into the record's new buffer `target`, and the
// source's cursor past the payload. A frame with a payload (every frame but a damaged one) is
// laid down with plain copies; the buffer ends as the field-by-field writes would leave it.
bool copyFrame(cmprBuffer* target, const rleFrameHeader& header, double linePosition,
               cmprBuffer* source, int32_t payload) {
    if (payload > 0 && target->m_writeSize == 0 && target->m_bitOffset == 0 &&
        target->m_capacity == payload + RECORD_HEAD_SIZE && cmprReadable(source) >= payload &&
        rleHeaderWordFits(header)) {
        const uint32_t word = packRleHeaderWord(header);
        uint8_t* out = target->m_data;
        std::memcpy(out, &word, 4);
        std::memcpy(out + 4, &linePosition, 8);
        std::memcpy(out + RECORD_HEAD_SIZE, source->m_readPtr, size_t(payload));
        target->m_writePtr = out + RECORD_HEAD_SIZE + payload;
        target->m_writeSize = RECORD_HEAD_SIZE + payload;
        target->m_shiftBuffer = 0;
        source->m_shiftBuffer = 0;
        source->m_bitOffset = 0;
        source->m_readPtr += payload;
        source->m_readSize -= payload;
        return true;
    }
    return writeRleHeaderWord(&header, target) == 0 && cmprWriteF64(target, linePosition) == 0 &&
           cmprCopy(target, source->m_readPtr, payload) == 0 && cmprSkip(source, payload) == 0;
}

} // namespace

void extractFrame(frameRecord* record, cmprBuffer* source, const syncList& syncs) {
    // The record is cleared on failure and every field is set on success: no clearing first
    // (a frame of heavy rain is read in a few hundred instructions).
    rleFrameHeader header;
    resetRleFrameHeader(&header);
    syncPointPtr sync;

    bool ok =
        source && source->m_readSize > MIN_SOURCE_BYTES && readRleAuxHeader(source, &header) == 0;
    if (ok) {
        sync = syncs.find(header.syncId);
        ok = sync && sync->isValid();
    }
    if (ok)
        placeRecord(record, sync, header.lineCounter);
    int64_t available = (source ? int64_t(source->m_readSize) : 0) + RLE_FRAME_AUX_HEAD_OFFSET;
    if (available < int64_t(header.compressedSize) + TRAILER_SIZE) {
        logError(errorKind::frame,
                 QStringLiteral(" : error : remaining read size too small for next frame "));
        ok = false;
    }
    if (!ok || header.compressedSize < uint32_t(RLE_FRAME_AUX_HEAD_OFFSET)) {
        logError(errorKind::frame,
                 QStringLiteral(
                     "( result != SUCCESS ) || ( compressedSize < RLE_FRAME_AUX_HEAD_OFFSET )"));
    } else {
        int32_t payload = int32_t(header.compressedSize) - RLE_FRAME_AUX_HEAD_OFFSET;
        pooledCmprBufferPtr data = makePooledCmprBuffer(payload + RECORD_HEAD_SIZE);
        if (data) {
            if (copyFrame(data.data(), header, record->linePosition, source, payload)) {
                record->sync = std::move(sync);
                record->header = header;
                record->data = std::move(data);
                record->isValid = true;
                record->isEmpty = false;
                record->cameraId = 0;
                return;
            }
            logError(errorKind::frame,
                     QStringLiteral(" : error : unable to extract frame from cmpr buffer"));
        }
    }
    logError(errorKind::frame, QStringLiteral(" : error : invalid frame"));
    *record = frameRecord();
}
