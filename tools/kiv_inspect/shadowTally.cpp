#include "kiv_inspect/shadowTally.h"

#include <algorithm>
#include <cstring>

namespace {

// The end of the last pixel a shadow may reach.
const uint32_t LAST_PIXEL_END = 65535;

// Codes of a payload, least significant bit first, as the cameras pack them.
class codeReader {
public:
    codeReader(const uint8_t* bytes, size_t size) : m_next(bytes), m_end(bytes + size) {}

    bool read(int bits, uint32_t* value) {
        if (m_count < bits) {
            refill();
            if (m_count < bits)
                return false;
        }
        *value = uint32_t(m_bits) & ((uint32_t(1) << bits) - 1);
        m_bits >>= bits;
        m_count -= bits;
        return true;
    }

private:
    void refill() {
        if (m_end - m_next >= 8) {
            uint64_t word;
            std::memcpy(&word, m_next, 8);
            m_bits |= word << m_count;
            m_next += (63 - m_count) >> 3;
            m_count |= 56;
            return;
        }
        while (m_count <= 56 && m_next < m_end) {
            m_bits |= uint64_t(*m_next++) << m_count;
            m_count += 8;
        }
    }

    const uint8_t* m_next;
    const uint8_t* m_end;
    uint64_t m_bits = 0;
    int m_count = 0;
};

} // namespace

shadowTally::shadowTally(int window) : m_window(window) {
    for (std::vector<shadowSegment>& line : m_lines)
        line.resize(RLE_MAX_LINE_SEGMENTS);
}

bool shadowTally::walk(const uint8_t* payload, size_t size, const rleFrameHeader& h,
                       int64_t* difference, int64_t sign) {
    codeReader codes(payload, size);
    const int window = m_window;
    const int lightBits = h.lightBits;
    const int shadowBits = h.shadowBits;
    const uint32_t lightFlag = uint32_t(1) << (lightBits - 1);
    const uint32_t shadowFlag = uint32_t(1) << (shadowBits - 1);
    // Locals rather than members: the compiler keeps them in registers across the writes.
    shadowSegment* line = m_lines[0].data();
    shadowSegment* previous = m_lines[1].data();
    size_t previousCount = 0;
    uint32_t lines = 0;
    for (;;) {
        uint32_t light;
        if (!codes.read(lightBits, &light))
            return false;
        if (light & lightFlag) {
            uint32_t repeats = light & (lightFlag - 1);
            if (repeats == 0)
                return lines == h.numLines;
            if (lines == 0 || lines + repeats > h.numLines)
                return false;
            const int64_t times = sign * int64_t(repeats);
            for (size_t i = 0; i < previousCount; ++i) {
                const shadowSegment& s = previous[i];
                if (s.start >= window)
                    break;
                difference[s.start] += times;
                difference[std::min(int(s.start) + int(s.length), window)] -= times;
            }
            lines += repeats;
            continue;
        }
        if (lines >= h.numLines)
            return false;
        size_t count = 0;
        uint32_t position = uint32_t(h.minOffset) + light;
        for (;;) {
            uint32_t shadow;
            if (!codes.read(shadowBits, &shadow))
                return false;
            uint32_t length = shadow & ~shadowFlag;
            if (position + length > LAST_PIXEL_END)
                return false;
            if (length > 0) {
                if (count >= RLE_MAX_LINE_SEGMENTS)
                    return false;
                line[count++] = shadowSegment{uint16_t(position), uint16_t(length)};
                if (int(position) < window) {
                    difference[position] += sign;
                    difference[std::min(int(position + length), window)] -= sign;
                }
            }
            position += length;
            if (shadow & shadowFlag)
                break;
            if (!codes.read(lightBits, &light) || (light & lightFlag))
                return false;
            position += light;
        }
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
    if (walk(codes, size_t(payload), header, difference, 1))
        return true;
    walk(codes, size_t(payload), header, difference, -1);
    return false;
}

void addShadowCounts(const int64_t* difference, int window, int64_t* counts) {
    int64_t shadowed = 0;
    for (int x = 0; x < window; ++x) {
        shadowed += difference[x];
        counts[x] += shadowed;
    }
}
