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

shadowTally::shadowTally(int window)
    : m_window(window), m_difference(size_t(window) + 1, 0), m_frame(size_t(window) + 1, 0) {}

void shadowTally::addLine(const std::vector<shadowSegment>& line, int64_t times) {
    for (const shadowSegment& s : line) {
        if (s.start >= m_window)
            break;
        m_frame[s.start] += times;
        m_frame[size_t(std::min(int(s.start) + int(s.length), m_window))] -= times;
    }
}

bool shadowTally::walk(const uint8_t* payload, size_t size, const rleFrameHeader& h) {
    codeReader codes(payload, size);
    const uint32_t lightFlag = uint32_t(1) << (h.lightBits - 1);
    const uint32_t shadowFlag = uint32_t(1) << (h.shadowBits - 1);
    uint32_t lines = 0;
    m_previous.clear();
    for (;;) {
        uint32_t light;
        if (!codes.read(h.lightBits, &light))
            return false;
        if (light & lightFlag) {
            uint32_t repeats = light & (lightFlag - 1);
            if (repeats == 0)
                return lines == h.numLines;
            if (lines == 0 || lines + repeats > h.numLines)
                return false;
            addLine(m_previous, repeats);
            lines += repeats;
            continue;
        }
        if (lines >= h.numLines)
            return false;
        m_line.clear();
        uint32_t position = uint32_t(h.minOffset) + light;
        for (;;) {
            uint32_t shadow;
            if (!codes.read(h.shadowBits, &shadow))
                return false;
            uint32_t length = shadow & ~shadowFlag;
            if (position + length > LAST_PIXEL_END)
                return false;
            if (length > 0) {
                if (m_line.size() >= RLE_MAX_LINE_SEGMENTS)
                    return false;
                m_line.push_back(shadowSegment{uint16_t(position), uint16_t(length)});
            }
            position += length;
            if (shadow & shadowFlag)
                break;
            if (!codes.read(h.lightBits, &light) || (light & lightFlag))
                return false;
            position += light;
        }
        addLine(m_line, 1);
        m_previous.swap(m_line);
        ++lines;
    }
}

bool shadowTally::addFrame(const uint8_t* bytes, size_t size, const datafileEntry& entry) {
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
    std::fill(m_frame.begin(), m_frame.end(), 0);
    if (!walk(bytes + entry.dataOffset + FRAME_DATA_HEAD_SIZE, size_t(payload), header))
        return false;
    for (size_t i = 0; i < m_frame.size(); ++i)
        m_difference[i] += m_frame[i];
    return true;
}

void shadowTally::moveInto(int64_t* counts) {
    int64_t shadowed = 0;
    for (int x = 0; x < m_window; ++x) {
        shadowed += m_difference[size_t(x)];
        counts[x] += shadowed;
    }
    std::fill(m_difference.begin(), m_difference.end(), 0);
}
