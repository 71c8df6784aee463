#include "format/rleFrame.h"

#include <cstring>

namespace {

const int COMPRESSED_SIZE_BITS = 14;
const int MIN_OFFSET_BITS = 10;
const int CODE_WIDTH_BITS = 4;

bool codeBitsValid(uint8_t bits) {
    return bits >= RLE_MIN_CODE_BITS && bits <= RLE_MAX_CODE_BITS;
}

} // namespace

void resetRleFrameHeader(rleFrameHeader* header) {
    if (!header)
        return;
    header->largestFirstOffset = 0;
    header->minOffset = 0xFFFF;
    header->maxLight = 0;
    header->maxShadow = 0;
    header->lightFlag = 0x8000;
    header->shadowFlag = 0x8000;
    header->maxRepeat = 0x7FFF;
    header->shadowBits = 16;
    header->lightBits = 16;
    header->compressedSize = 0;
    header->numLines = 0;
    header->lineCounter = 0;
    header->syncId = 0xFFFF;
}

int setRleCodeBits(rleFrameHeader* header, uint8_t lightBits, uint8_t shadowBits) {
    if (!header || !codeBitsValid(lightBits) || !codeBitsValid(shadowBits))
        return -1;
    header->lightBits = lightBits;
    header->shadowBits = shadowBits;
    header->lightFlag = uint16_t(1u << (lightBits - 1));
    header->shadowFlag = uint16_t(1u << (shadowBits - 1));
    header->maxRepeat = uint16_t(header->lightFlag - 1);
    return 0;
}

int readRleHeaderWord(cmprBuffer* source, rleFrameHeader* header) {
    if (!header)
        return -1;
    uint16_t compressedSize = 0;
    uint16_t minOffset = 0;
    uint8_t shadowBits = 0;
    uint8_t lightBits = 0;
    if (cmprReadBits16(source, &compressedSize, COMPRESSED_SIZE_BITS) != 0 ||
        cmprReadBits16(source, &minOffset, MIN_OFFSET_BITS) != 0 ||
        cmprReadBits8(source, &shadowBits, CODE_WIDTH_BITS) != 0 ||
        cmprReadBits8(source, &lightBits, CODE_WIDTH_BITS) != 0 ||
        setRleCodeBits(header, lightBits, shadowBits) != 0) {
        resetRleFrameHeader(header);
        return -1;
    }
    header->compressedSize = compressedSize;
    header->minOffset = minOffset;
    return 0;
}

namespace {

// The aux header taken from 16 whole bytes at once, with the checks and the cursor movement of
// the field-by-field reads: the header word is exactly one shift word, so the shift state ends
// empty, and a failure leaves the cursor where those reads would have left it.
int readWholeAuxHeader(cmprBuffer* source, rleFrameHeader* header) {
    const uint8_t* at = source->m_readPtr;
    uint32_t word;
    std::memcpy(&word, at, 4);
    if (unpackRleHeaderWord(word, header) != 0) {
        source->m_readPtr += 4;
        source->m_readSize -= 4;
        return -1;
    }
    uint16_t numLines;
    std::memcpy(&header->syncId, at + 4, 2);
    std::memcpy(&header->lineCounter, at + 6, 8);
    std::memcpy(&numLines, at + 14, 2);
    source->m_readPtr += RLE_FRAME_AUX_HEAD_OFFSET;
    source->m_readSize -= RLE_FRAME_AUX_HEAD_OFFSET;
    if (numLines > RLE_MAX_LINES) {
        resetRleFrameHeader(header);
        return -1;
    }
    header->numLines = numLines;
    return 0;
}

} // namespace

bool rleHeaderWordFits(const rleFrameHeader& header) {
    return header.compressedSize <= RLE_MAX_COMPRESSED_SIZE &&
           header.minOffset < (1u << MIN_OFFSET_BITS) && header.shadowBits <= RLE_MAX_CODE_BITS &&
           header.lightBits <= RLE_MAX_CODE_BITS;
}

uint32_t packRleHeaderWord(const rleFrameHeader& header) {
    return header.compressedSize | uint32_t(header.minOffset) << COMPRESSED_SIZE_BITS |
           uint32_t(header.shadowBits) << (COMPRESSED_SIZE_BITS + MIN_OFFSET_BITS) |
           uint32_t(header.lightBits) << (COMPRESSED_SIZE_BITS + MIN_OFFSET_BITS + CODE_WIDTH_BITS);
}

int unpackRleHeaderWord(uint32_t word, rleFrameHeader* header) {
    const int shadowShift = COMPRESSED_SIZE_BITS + MIN_OFFSET_BITS;
    const uint8_t shadowBits = uint8_t((word >> shadowShift) & 0xF);
    const uint8_t lightBits = uint8_t(word >> (shadowShift + CODE_WIDTH_BITS));
    if (setRleCodeBits(header, lightBits, shadowBits) != 0) {
        resetRleFrameHeader(header);
        return -1;
    }
    header->compressedSize = word & ((1u << COMPRESSED_SIZE_BITS) - 1);
    header->minOffset = uint16_t((word >> COMPRESSED_SIZE_BITS) & ((1u << MIN_OFFSET_BITS) - 1));
    return 0;
}

int readRleAuxHeader(cmprBuffer* source, rleFrameHeader* header) {
    if (!header)
        return -1;
    resetRleFrameHeader(header);
    // The bits after the previous frame's end code must all be zero.
    uint32_t rest = 0;
    if (unflushShiftBuffer(source, &rest) != 0 || rest != 0 || !cmprUsable(source) ||
        source->m_readSize <= 12)
        return -1;
    if (cmprReadable(source) >= RLE_FRAME_AUX_HEAD_OFFSET)
        return readWholeAuxHeader(source, header);
    uint16_t numLines = 0;
    if (readRleHeaderWord(source, header) != 0 || cmprReadU16(source, &header->syncId) != 0 ||
        cmprReadU64(source, &header->lineCounter) != 0 || cmprReadU16(source, &numLines) != 0 ||
        numLines > RLE_MAX_LINES) {
        resetRleFrameHeader(header);
        return -1;
    }
    header->numLines = numLines;
    return 0;
}

int writeRleHeaderWord(const rleFrameHeader* header, cmprBuffer* target) {
    if (!header || !rleHeaderWordFits(*header))
        return -1;
    // The four fields always complete one word; checking its room first keeps a failed write
    // from leaving half a header pending in the shift word.
    if (!cmprUsable(target) || target->m_writeSize + 4 > target->m_capacity)
        return -1;
    if (cmprWriteBits16(target, uint16_t(header->compressedSize), COMPRESSED_SIZE_BITS) != 0 ||
        cmprWriteBits16(target, header->minOffset, MIN_OFFSET_BITS) != 0 ||
        cmprWriteBits8(target, header->shadowBits, CODE_WIDTH_BITS) != 0 ||
        cmprWriteBits8(target, header->lightBits, CODE_WIDTH_BITS) != 0)
        return -1;
    return 0;
}
