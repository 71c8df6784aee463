#include "codec/frameExtract.h"

#include "codec/rleFrame.h"
#include "status/statusScreen.h"

namespace {

// The source must hold more than an aux header and a transfer file trailer.
const int32_t MIN_SOURCE_BYTES = 26;
const int32_t TRAILER_SIZE = 10;
// Bytes of a record's copy in front of the payload: header word and f64 line position.
const int32_t RECORD_HEAD_SIZE = 12;

} // namespace

void extractFrame(frameRecord* record, cmprBuffer* source, const syncList& syncs) {
    *record = frameRecord();
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
        logMessage(QStringLiteral(" : error : remaining read size too small for next frame "));
        ok = false;
    }
    if (!ok || header.compressedSize < uint32_t(RLE_FRAME_AUX_HEAD_OFFSET)) {
        logMessage(QStringLiteral(
            "( result != SUCCESS ) || ( compressedSize < RLE_FRAME_AUX_HEAD_OFFSET )"));
    } else {
        int32_t payload = int32_t(header.compressedSize) - RLE_FRAME_AUX_HEAD_OFFSET;
        cmprBufferPtr data = makeCmprBuffer(payload + RECORD_HEAD_SIZE);
        if (data) {
            if (writeRleHeaderWord(&header, data.data()) == 0 &&
                cmprWriteF64(data.data(), record->linePosition) == 0 &&
                cmprCopy(data.data(), source->m_readPtr, payload) == 0 &&
                cmprSkip(source, payload) == 0) {
                record->sync = sync;
                record->header = header;
                record->data = data;
                record->isValid = true;
                record->isEmpty = false;
                return;
            }
            logMessage(QStringLiteral(" : error : unable to extract frame from cmpr buffer"));
        }
    }
    logMessage(QStringLiteral(" : error : invalid frame"));
    *record = frameRecord();
}
