// The run-length frame: up to 1536 camera lines of one camera as light and shadow codes.
// A frame starts with a 16-byte aux header (header word, syncId, line counter, number of
// lines); rleFrameHeader is its decoded form.
#pragma once

#include "format/cmprBuffer.h"

#include <cstdint>

// Size of the aux header in front of every frame's payload.
const int RLE_FRAME_AUX_HEAD_OFFSET = 16;
const uint32_t RLE_MAX_LINES = 1536;
// Widths of light and shadow codes.
const uint8_t RLE_MIN_CODE_BITS = 2;
const uint8_t RLE_MAX_CODE_BITS = 15;
// compressedSize is a 14-bit field.
const uint32_t RLE_MAX_COMPRESSED_SIZE = 16383;

struct rleFrameHeader {
    uint16_t largestFirstOffset; // statistic of the writing side
    uint16_t minOffset;          // pixel the first light code of a line counts from
    uint16_t maxLight;           // statistic
    uint16_t maxShadow;          // statistic
    uint16_t lightFlag;          // 1 << (lightBits - 1)
    uint16_t shadowFlag;         // 1 << (shadowBits - 1)
    uint16_t maxRepeat;          // lightFlag - 1
    uint8_t shadowBits;          // 2..15
    uint8_t lightBits;           // 2..15
    uint32_t compressedSize;     // frame size in bytes, aux header included
    uint32_t numLines;
    uint64_t lineCounter; // line counter of the first line, since the synchronisation
    uint16_t syncId;
};

void resetRleFrameHeader(rleFrameHeader* header);
// Reads and checks the 16-byte aux header at the read cursor; resets `header` on failure.
int readRleAuxHeader(cmprBuffer* source, rleFrameHeader* header);
// Reads only the header word (as kept in front of a frame record's bytes) into
// compressedSize, minOffset and the code widths with their flags; the other fields stay.
// Code widths outside 2..15 fail; resets `header` on failure.
int readRleHeaderWord(cmprBuffer* source, rleFrameHeader* header);
// Sets lightBits and shadowBits with lightFlag, shadowFlag and maxRepeat; widths outside
// 2..15 fail and leave `header` as it was.
int setRleCodeBits(rleFrameHeader* header, uint8_t lightBits, uint8_t shadowBits);
// Writes the header word (compressedSize, minOffset, shadowBits, lightBits as 14/10/4/4 bits).
int writeRleHeaderWord(const rleFrameHeader* header, cmprBuffer* target);

// The header word's four fields fit their widths (what writeRleHeaderWord checks).
bool rleHeaderWordFits(const rleFrameHeader& header);
// The header word as the 32-bit value the bit-field writes lay down.
uint32_t packRleHeaderWord(const rleFrameHeader& header);
// Takes compressedSize, minOffset and the code widths from a header word; -1 (header reset)
// when a code width is outside 2..15.
int unpackRleHeaderWord(uint32_t word, rleFrameHeader* header);
