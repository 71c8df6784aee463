// rleCodec: turns camera lines of shadow segments into run-length frames as a camera computer
// writes them, and frame payloads back into lines. The controller carries frames unchanged;
// the camera simulator writes them with this code and the inspector draws what it decodes.
#pragma once

#include "format/cmprBuffer.h"
#include "format/rleFrame.h"

#include <cstdint>
#include <vector>

// One run of shadow pixels; `start` is the pixel position inside the capture window.
struct shadowSegment {
    uint16_t start;
    uint16_t length;
};

inline bool operator==(const shadowSegment& a, const shadowSegment& b) {
    return a.start == b.start && a.length == b.length;
}
inline bool operator!=(const shadowSegment& a, const shadowSegment& b) {
    return !(a == b);
}

// The shadow segments of one camera line: sorted, not overlapping (they may touch), each at
// least one pixel long and ending at or before pixel 65535. Empty when the line saw no shadow.
typedef std::vector<shadowSegment> shadowLine;

// Line without shadow: written as the light code 0 followed by a shadow code of length 0 with
// shadowFlag set. The decoder drops every shadow of length 0, so the line comes back empty.
//
// Builds one whole frame (16-byte aux header and payload) from at most RLE_MAX_LINES lines.
// Chooses minOffset (smallest first shadow start, at most 1023), the narrowest shadow code
// width that keeps every shadow code below shadowFlag, and the light code width that keeps
// every light code below lightFlag and codes the frame in the fewest bits (wider codes take
// longer repeats); equal consecutive lines become repeat codes. Fails for invalid lines, a light or
// shadow run of 16384 pixels or more, or a frame of more than RLE_MAX_COMPRESSED_SIZE bytes.
int encodeRleFrame(const std::vector<shadowLine>& lines, uint16_t syncId, uint64_t lineCounter,
                   std::vector<uint8_t>* frame);

// Splits `lines` into as few frames as the line and size limits allow, each as large as fits;
// the line counter of each frame advances by the lines of the frames before it. No lines give
// no frames. Fails (with `frames` empty) when a line is invalid or cannot fit any frame.
int encodeRleFrames(const std::vector<shadowLine>& lines, uint16_t syncId,
                    uint64_t firstLineCounter, std::vector<std::vector<uint8_t>>* frames);

// Shadows one line can hold: one per pixel of the 1024-pixel sensor.
const size_t RLE_MAX_LINE_SEGMENTS = 1024;

// Decodes the payload at the read cursor (compressedSize - 16 bytes) with the minOffset,
// code widths and numLines of `header` into `lines`, repeats expanded. Fails on any damage:
// more or fewer lines than numLines, a repeat before the first line, a flagged light code
// inside a line, a position past 65535, a line of more than RLE_MAX_LINE_SEGMENTS shadows
// (so that a damaged frame never expands to more than a few megabytes), no end code,
// non-zero bits after the end code.
// On success the cursor stands after the payload; on failure it is back at its start and
// `lines` is empty.
int decodeRlePayload(cmprBuffer* source, const rleFrameHeader* header,
                     std::vector<shadowLine>* lines);

// Reads the aux header at the read cursor and decodes the payload after it.
int decodeRleFrame(cmprBuffer* source, rleFrameHeader* header, std::vector<shadowLine>* lines);
