#include "kiv_inspect/shadowTally.h"

#include <algorithm>
#include <cstring>

namespace {

// The end of the last pixel a shadow may reach.
const uint32_t LAST_PIXEL_END = 65535;
// Bytes a code load reads from its first byte on: a whole 64-bit word.
const size_t LOAD_BYTES = 8;

// Codes of a payload, least significant bit first, as the cameras pack them, read from any
// bit position with one unaligned load and no refill: 57 bits at once, enough for a light and
// a shadow code together. The payload must be followed by LOAD_BYTES readable bytes (the rest
// of the datafile, or a padded copy): a read may look past its end, and the walk checks the
// bit position against the payload's length before it trusts what it read.
inline uint64_t bitsAt(const uint8_t* payload, uint64_t position) {
    uint64_t word;
    std::memcpy(&word, payload + (position >> 3), sizeof word);
    return word >> (position & 7);
}

// Adds a segment from `start` to `end` (exclusive) to the pixels below `window`, `times` over;
// a segment beyond the window adds and takes back at `window` alike.
inline void addSegment(int64_t* difference, uint32_t start, uint32_t end, uint32_t window,
                       int64_t times) {
    difference[std::min(start, window)] += times;
    difference[std::min(end, window)] -= times;
}

} // namespace

shadowTally::shadowTally(int window) : m_window(window) {
    // One more than a line may hold: a segment of length 0 is written and not kept.
    for (std::vector<shadowSegment>& line : m_lines)
        line.resize(RLE_MAX_LINE_SEGMENTS + 1);
}

template <int sign>
bool shadowTally::walk(const uint8_t* payload, size_t size, const rleFrameHeader& h,
                       int64_t* difference) {
    const uint64_t bits = uint64_t(size) * 8;
    const uint32_t window = uint32_t(m_window);
    const int lightBits = h.lightBits;
    const int shadowBits = h.shadowBits;
    const uint32_t lightFlag = uint32_t(1) << (lightBits - 1);
    const uint32_t shadowFlag = uint32_t(1) << (shadowBits - 1);
    const uint64_t lightMask = (uint64_t(1) << lightBits) - 1;
    const uint64_t shadowMask = (uint64_t(1) << shadowBits) - 1;
    const uint32_t numLines = h.numLines;
    const uint32_t minOffset = h.minOffset;
    // Locals rather than members: the compiler keeps them in registers across the writes.
    shadowSegment* line = m_lines[0].data();
    shadowSegment* previous = m_lines[1].data();
    size_t previousCount = 0;
    uint32_t lines = 0;
    uint64_t at = 0; // bit position of the next code
    for (;;) {
        const uint32_t light = uint32_t(bitsAt(payload, at) & lightMask);
        at += uint64_t(lightBits);
        if (at > bits)
            return false;
        if (light & lightFlag) {
            uint32_t repeats = light & (lightFlag - 1);
            if (repeats == 0)
                return lines == numLines;
            if (lines == 0 || lines + repeats > numLines)
                return false;
            const int64_t times = sign * int64_t(repeats);
            for (size_t i = 0; i < previousCount; ++i)
                addSegment(difference, previous[i].start,
                           uint32_t(previous[i].start) + previous[i].length, window, times);
            lines += repeats;
            continue;
        }
        if (lines >= numLines)
            return false;
        size_t count = 0;
        uint32_t position = minOffset + light;
        for (;;) {
            // The shadow code and the light code after it, read at once; the light code is
            // only used when the shadow code does not end the line.
            const uint64_t codes = bitsAt(payload, at);
            const uint32_t shadow = uint32_t(codes & shadowMask);
            const uint32_t length = shadow & ~shadowFlag;
            if (position + length > LAST_PIXEL_END)
                return false;
            line[count] = shadowSegment{uint16_t(position), uint16_t(length)};
            count += length > 0;
            if (count > RLE_MAX_LINE_SEGMENTS)
                return false;
            addSegment(difference, position, position + length, window, sign);
            position += length;
            if (shadow & shadowFlag) {
                at += uint64_t(shadowBits);
                break;
            }
            const uint32_t next = uint32_t((codes >> shadowBits) & lightMask);
            at += uint64_t(shadowBits + lightBits);
            if (at > bits || (next & lightFlag))
                return false;
            position += next;
        }
        if (at > bits)
            return false;
        std::swap(line, previous);
        previousCount = count;
        ++lines;
    }
}

bool shadowTally::addFrame(const uint8_t* bytes, size_t size, const datafileEntry& entry,
                           int64_t* difference) {
    if (!bytes || entry.dataOffset < 0 || entry.dataLength <= FRAME_DATA_HEAD_SIZE ||
        int64_t(entry.dataOffset) + entry.dataLength > int64_t(size))
        return false;
    const rleFrameHeader& h = entry.header;
    if (h.lightBits < RLE_MIN_CODE_BITS || h.lightBits > RLE_MAX_CODE_BITS ||
        h.shadowBits < RLE_MIN_CODE_BITS || h.shadowBits > RLE_MAX_CODE_BITS)
        return false;
    rleFrameHeader header = h;
    header.numLines = entry.numLines;
    // The payload: what the frame's compressed size leaves after the aux header.
    int64_t payload = int64_t(h.compressedSize) - RLE_FRAME_AUX_HEAD_OFFSET;
    if (payload <= 0 || payload > entry.dataLength - FRAME_DATA_HEAD_SIZE)
        return false;

    const uint8_t* codes = bytes + entry.dataOffset + FRAME_DATA_HEAD_SIZE;
    // In a datafile the interval block and the rest follow every frame; a payload at the very
    // end of the bytes is walked in a padded copy.
    if (size_t(codes - bytes) + size_t(payload) + LOAD_BYTES > size) {
        m_padded.assign(codes, codes + payload);
        m_padded.resize(size_t(payload) + LOAD_BYTES, 0);
        codes = m_padded.data();
    }
    if (walk<1>(codes, size_t(payload), header, difference))
        return true;
    walk<-1>(codes, size_t(payload), header, difference);
    return false;
}

void addShadowCounts(const int64_t* difference, int window, int64_t* counts) {
    int64_t shadowed = 0;
    for (int x = 0; x < window; ++x) {
        shadowed += difference[x];
        counts[x] += shadowed;
    }
}
