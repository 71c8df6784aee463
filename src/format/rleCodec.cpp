#include "format/rleCodec.h"

#include <cstdint>

namespace {

const uint32_t LAST_PIXEL_END = 0xFFFF; // segments end at or before this position
const uint32_t MAX_MIN_OFFSET = 1023;   // minOffset is a 10-bit field
const uint32_t MAX_CODE_VALUE = 0x3FFF; // largest run a 15-bit code holds beside its flag

bool lineValid(const shadowLine& line) {
    uint32_t end = 0;
    for (const shadowSegment& segment : line) {
        if (segment.length == 0 || segment.start < end)
            return false;
        end = uint32_t(segment.start) + segment.length;
        if (end > LAST_PIXEL_END)
            return false;
    }
    return true;
}

// Narrowest code width (at least 2 bits) whose flag lies above `largest`.
uint8_t codeBitsFor(uint32_t largest) {
    uint8_t bits = RLE_MIN_CODE_BITS;
    while ((1u << (bits - 1)) <= largest)
        ++bits;
    return bits;
}

// How many of the lines after lines[i] repeat it.
size_t repeatsAfter(const shadowLine* lines, size_t count, size_t i) {
    size_t repeats = 0;
    while (i + 1 + repeats < count && lines[i + 1 + repeats] == lines[i])
        ++repeats;
    return repeats;
}

// The light code width at or above `narrowest` that codes the frame in the fewest bits: a
// wider code holds longer repeats, which pays off for long runs of equal (often empty) lines.
uint8_t lightBitsFor(const shadowLine* lines, size_t count, uint8_t narrowest) {
    uint64_t lineCodes = 1; // the end code
    std::vector<size_t> runs;
    for (size_t i = 0; i < count; i += 1 + runs.back()) {
        lineCodes += lines[i].empty() ? 1 : lines[i].size();
        runs.push_back(repeatsAfter(lines, count, i));
    }
    uint8_t best = narrowest;
    uint64_t bestCost = UINT64_MAX;
    for (uint8_t bits = narrowest; bits <= RLE_MAX_CODE_BITS; ++bits) {
        size_t maxRepeat = (size_t(1) << (bits - 1)) - 1;
        uint64_t codes = lineCodes;
        for (size_t run : runs)
            codes += (run + maxRepeat - 1) / maxRepeat;
        if (codes * bits < bestCost) {
            bestCost = codes * bits;
            best = bits;
        }
    }
    return best;
}

// Chooses minOffset and the code widths of a frame of `count` lines and fills the statistics.
int chooseCodes(const shadowLine* lines, size_t count, rleFrameHeader* header) {
    uint32_t minOffset = MAX_MIN_OFFSET;
    bool anyShadow = false;
    for (size_t i = 0; i < count; ++i) {
        if (lines[i].empty())
            continue;
        anyShadow = true;
        if (lines[i].front().start < minOffset)
            minOffset = lines[i].front().start;
    }
    if (!anyShadow)
        minOffset = 0;
    uint32_t largestFirst = 0;
    uint32_t maxLight = 0;
    uint32_t maxShadow = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t position = minOffset;
        for (size_t s = 0; s < lines[i].size(); ++s) {
            uint32_t light = lines[i][s].start - position;
            if (s == 0 && light > largestFirst)
                largestFirst = light;
            if (light > maxLight)
                maxLight = light;
            if (lines[i][s].length > maxShadow)
                maxShadow = lines[i][s].length;
            position = uint32_t(lines[i][s].start) + lines[i][s].length;
        }
    }
    if (maxLight > MAX_CODE_VALUE || maxShadow > MAX_CODE_VALUE)
        return -1;
    header->minOffset = uint16_t(minOffset);
    header->largestFirstOffset = uint16_t(largestFirst);
    header->maxLight = uint16_t(maxLight);
    header->maxShadow = uint16_t(maxShadow);
    uint8_t lightBits = lightBitsFor(lines, count, codeBitsFor(maxLight));
    return setRleCodeBits(header, lightBits, codeBitsFor(maxShadow));
}

int writeLine(const shadowLine& line, const rleFrameHeader& header, cmprBuffer* payload) {
    if (line.empty()) {
        if (cmprWriteBits16(payload, 0, header.lightBits) != 0 ||
            cmprWriteBits16(payload, header.shadowFlag, header.shadowBits) != 0)
            return -1;
        return 0;
    }
    uint32_t position = header.minOffset;
    for (size_t s = 0; s < line.size(); ++s) {
        uint16_t shadow = line[s].length;
        if (s + 1 == line.size())
            shadow |= header.shadowFlag;
        if (cmprWriteBits16(payload, uint16_t(line[s].start - position), header.lightBits) != 0 ||
            cmprWriteBits16(payload, shadow, header.shadowBits) != 0)
            return -1;
        position = uint32_t(line[s].start) + line[s].length;
    }
    return 0;
}

// Writes `repeats` more copies of the previous line as codes of at most maxRepeat each.
int writeRepeats(size_t repeats, const rleFrameHeader& header, cmprBuffer* payload) {
    while (repeats > 0) {
        size_t count = repeats < header.maxRepeat ? repeats : header.maxRepeat;
        if (cmprWriteBits16(payload, uint16_t(header.lightFlag | count), header.lightBits) != 0)
            return -1;
        repeats -= count;
    }
    return 0;
}

int writePayload(const shadowLine* lines, size_t count, const rleFrameHeader& header,
                 cmprBuffer* payload) {
    size_t i = 0;
    while (i < count) {
        if (writeLine(lines[i], header, payload) != 0)
            return -1;
        size_t repeats = repeatsAfter(lines, count, i);
        if (writeRepeats(repeats, header, payload) != 0)
            return -1;
        i += 1 + repeats;
    }
    if (cmprWriteBits16(payload, header.lightFlag, header.lightBits) != 0)
        return -1;
    return flushShiftBuffer(payload);
}

// Encodes lines[0..count) into `frame`; the lines must already be valid.
int encodeLines(const shadowLine* lines, size_t count, uint16_t syncId, uint64_t lineCounter,
                std::vector<uint8_t>* frame) {
    if (count > RLE_MAX_LINES)
        return -1;
    rleFrameHeader header;
    resetRleFrameHeader(&header);
    if (chooseCodes(lines, count, &header) != 0)
        return -1;
    const int32_t maxPayload = int32_t(RLE_MAX_COMPRESSED_SIZE) - RLE_FRAME_AUX_HEAD_OFFSET;
    cmprBufferPtr payload = makeCmprBuffer(maxPayload);
    cmprBufferPtr head = makeCmprBuffer(RLE_FRAME_AUX_HEAD_OFFSET);
    if (!payload || !head || writePayload(lines, count, header, payload.data()) != 0)
        return -1;
    header.compressedSize = uint32_t(RLE_FRAME_AUX_HEAD_OFFSET + payload->m_writeSize);
    header.numLines = uint32_t(count);
    header.syncId = syncId;
    header.lineCounter = lineCounter;
    if (writeRleHeaderWord(&header, head.data()) != 0 || cmprWriteU16(head.data(), syncId) != 0 ||
        cmprWriteU64(head.data(), lineCounter) != 0 ||
        cmprWriteU16(head.data(), uint16_t(count)) != 0)
        return -1;
    frame->assign(head->m_data, head->m_data + head->m_writeSize);
    frame->insert(frame->end(), payload->m_data, payload->m_data + payload->m_writeSize);
    return 0;
}

bool linesValid(const std::vector<shadowLine>& lines) {
    for (const shadowLine& line : lines)
        if (!lineValid(line))
            return false;
    return true;
}

// Reads one line whose first light code is `firstLight`, up to its flagged shadow code.
int readLine(cmprBuffer* source, const rleFrameHeader& header, uint16_t firstLight,
             shadowLine* line) {
    uint32_t position = uint32_t(header.minOffset) + firstLight;
    for (;;) {
        uint16_t shadow = 0;
        if (cmprReadBits16(source, &shadow, header.shadowBits) != 0)
            return -1;
        uint32_t length = shadow & ~uint32_t(header.shadowFlag);
        if (position + length > LAST_PIXEL_END)
            return -1;
        if (length > 0) {
            if (line->size() >= RLE_MAX_LINE_SEGMENTS)
                return -1;
            line->push_back(shadowSegment{uint16_t(position), uint16_t(length)});
        }
        position += length;
        if (shadow & header.shadowFlag)
            return 0;
        uint16_t light = 0;
        if (cmprReadBits16(source, &light, header.lightBits) != 0 || (light & header.lightFlag))
            return -1;
        position += light;
    }
}

// Reads codes up to the end code; the source must end with the payload.
int readLines(cmprBuffer* source, const rleFrameHeader& header, std::vector<shadowLine>* lines) {
    for (;;) {
        uint16_t light = 0;
        if (cmprReadBits16(source, &light, header.lightBits) != 0)
            return -1;
        if (light & header.lightFlag) {
            size_t repeats = light & header.maxRepeat;
            if (repeats == 0)
                return lines->size() == header.numLines ? 0 : -1;
            if (lines->empty() || lines->size() + repeats > header.numLines)
                return -1;
            shadowLine previous = lines->back();
            lines->insert(lines->end(), repeats, previous);
            continue;
        }
        if (lines->size() >= header.numLines)
            return -1;
        lines->emplace_back();
        if (readLine(source, header, light, &lines->back()) != 0)
            return -1;
    }
}

// True when nothing but zero bits follows the end code up to the end of the payload.
bool restIsZero(cmprBuffer* source) {
    uint32_t rest = 0;
    if (unflushShiftBuffer(source, &rest) != 0 || rest != 0)
        return false;
    for (int32_t i = 0; i < source->m_readSize; ++i)
        if (source->m_readPtr[i] != 0)
            return false;
    return true;
}

} // namespace

int encodeRleFrame(const std::vector<shadowLine>& lines, uint16_t syncId, uint64_t lineCounter,
                   std::vector<uint8_t>* frame) {
    if (!frame || !linesValid(lines))
        return -1;
    return encodeLines(lines.data(), lines.size(), syncId, lineCounter, frame);
}

int encodeRleFrames(const std::vector<shadowLine>& lines, uint16_t syncId,
                    uint64_t firstLineCounter, std::vector<std::vector<uint8_t>>* frames) {
    if (!frames)
        return -1;
    frames->clear();
    if (!linesValid(lines))
        return -1;
    size_t done = 0;
    while (done < lines.size()) {
        size_t left = lines.size() - done;
        size_t count = left < RLE_MAX_LINES ? left : RLE_MAX_LINES;
        uint64_t lineCounter = firstLineCounter + done;
        std::vector<uint8_t> frame;
        if (encodeLines(&lines[done], count, syncId, lineCounter, &frame) != 0) {
            // A frame of fewer lines never needs more bytes or wider codes, so the largest
            // count that still fits can be found by bisection; `fits` lines are known to fit.
            size_t fits = 0;
            size_t fails = count;
            while (fails - fits > 1) {
                size_t middle = fits + (fails - fits) / 2;
                std::vector<uint8_t> attempt;
                if (encodeLines(&lines[done], middle, syncId, lineCounter, &attempt) == 0) {
                    fits = middle;
                    frame.swap(attempt);
                } else {
                    fails = middle;
                }
            }
            if (fits == 0) {
                frames->clear();
                return -1;
            }
            count = fits;
        }
        frames->push_back(std::move(frame));
        done += count;
    }
    return 0;
}

int decodeRlePayload(cmprBuffer* source, const rleFrameHeader* header,
                     std::vector<shadowLine>* lines) {
    if (!lines)
        return -1;
    lines->clear();
    if (!header || !cmprUsable(source) || header->numLines > RLE_MAX_LINES ||
        header->compressedSize <= uint32_t(RLE_FRAME_AUX_HEAD_OFFSET))
        return -1;
    // Work from the code widths alone: the flags of a hand-filled header may disagree.
    rleFrameHeader codes = *header;
    if (setRleCodeBits(&codes, header->lightBits, header->shadowBits) != 0)
        return -1;
    int32_t payloadSize = int32_t(header->compressedSize) - RLE_FRAME_AUX_HEAD_OFFSET;
    // Start on a fresh word at the cursor; a skip of 0 bytes also checks the cursor.
    if (cmprSkip(source, 0) != 0 || cmprSkip(source, payloadSize) != 0)
        return -1;
    uint8_t* start = source->m_readPtr - payloadSize;
    int32_t after = source->m_readSize;
    // Limit the reads to the payload, so a frame without end code cannot reach the next one.
    source->m_readPtr = start;
    source->m_readSize = payloadSize;
    bool ok = readLines(source, codes, lines) == 0 && restIsZero(source);
    source->m_shiftBuffer = 0;
    source->m_bitOffset = 0;
    source->m_readPtr = ok ? start + payloadSize : start;
    source->m_readSize = ok ? after : after + payloadSize;
    if (!ok)
        lines->clear();
    return ok ? 0 : -1;
}

int decodeRleFrame(cmprBuffer* source, rleFrameHeader* header, std::vector<shadowLine>* lines) {
    if (readRleAuxHeader(source, header) != 0)
        return -1;
    return decodeRlePayload(source, header, lines);
}
