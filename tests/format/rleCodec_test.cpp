#include "format/readerOf.h"
#include "format/rleCodec.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Random lines of a capture window `width` pixels wide, with empty, full-width and repeated
// lines among them.
std::vector<shadowLine> randomLines(std::mt19937& random, size_t count, uint16_t width) {
    std::vector<shadowLine> lines;
    while (lines.size() < count) {
        shadowLine line;
        switch (random() % 6) {
        case 0:
            break;
        case 1:
            line.push_back({0, width});
            break;
        default:
            for (uint32_t p = random() % 40; p < width; p += 1 + random() % 60) {
                uint16_t length = uint16_t(1 + random() % std::min<uint32_t>(30, width - p));
                line.push_back({uint16_t(p), length});
                p += length;
            }
        }
        size_t copies = random() % 4 == 0 ? 1 + random() % 40 : 1;
        for (size_t i = 0; i < copies && lines.size() < count; ++i)
            lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(rleCodec, repeatsSplitAtMaxRepeatAndEndWithTheEndCode) {
    // Light codes 0 and 10 need 5 bits (flag 16, maxRepeat 15), shadow code 2 needs 3 bits;
    // wider light codes would save repeat codes, but cost more on the line's four.
    std::vector<shadowLine> lines(41, shadowLine{{100, 2}, {112, 2}, {124, 2}, {136, 2}});
    std::vector<uint8_t> frame;
    ASSERT_EQ(encodeRleFrame(lines, 7, 1000, &frame), 0);
    cmprBufferPtr in = readerOf(frame);
    rleFrameHeader header;
    ASSERT_EQ(readRleAuxHeader(in.data(), &header), 0);
    EXPECT_EQ(header.minOffset, 100);
    EXPECT_EQ(header.lightBits, 5);
    EXPECT_EQ(header.shadowBits, 3);
    EXPECT_EQ(header.numLines, 41u);
    EXPECT_EQ(header.compressedSize, frame.size());
    const int widths[] = {5, 3, 5, 3, 5, 3, 5, 3, 5, 5, 5, 5};
    const int codes[] = {0, 2, 10, 2, 10, 2, 10, 2 | 4, 31, 31, 26, 16};
    for (int i = 0; i < 12; ++i) {
        uint16_t code = 0;
        ASSERT_EQ(cmprReadBits16(in.data(), &code, widths[i]), 0);
        EXPECT_EQ(code, codes[i]) << i;
    }
    uint32_t rest = 1;
    EXPECT_EQ(unflushShiftBuffer(in.data(), &rest), 0);
    EXPECT_EQ(rest, 0u);
    EXPECT_EQ(in->m_readSize, 0);
}

TEST(rleCodec, framesRoundTripWithEmptyAndFullWidthLines) {
    std::mt19937 random(7);
    std::vector<std::vector<shadowLine>> cases = {
        {shadowLine{}, shadowLine{}},
        {shadowLine{{0, 16383}}, shadowLine{}, shadowLine{{5, 1}, {6, 1}, {16000, 2}}},
        std::vector<shadowLine>(RLE_MAX_LINES, shadowLine{{0, 1024}}),
    };
    // Frames of busy lines reach the size limit long before the line limit.
    for (uint16_t width : {8, 300, 4096})
        cases.push_back(randomLines(random, 80000 / (width + 100), width));
    for (const std::vector<shadowLine>& lines : cases) {
        SCOPED_TRACE(lines.size());
        std::vector<uint8_t> frame;
        ASSERT_EQ(encodeRleFrame(lines, 3, 99, &frame), 0);
        cmprBufferPtr in = readerOf(frame);
        rleFrameHeader header;
        std::vector<shadowLine> decoded;
        ASSERT_EQ(decodeRleFrame(in.data(), &header, &decoded), 0);
        EXPECT_EQ(decoded, lines);
        EXPECT_EQ(header.syncId, 3);
        EXPECT_EQ(header.lineCounter, 99u);
        EXPECT_EQ(in->m_readSize, 0);
    }
}

TEST(rleCodec, encoderRefusesLinesItCannotCode) {
    std::vector<uint8_t> frame;
    const std::vector<shadowLine> refused[] = {
        {shadowLine{{10, 0}}},            // empty segment
        {shadowLine{{10, 5}, {14, 2}}},   // overlap
        {shadowLine{{20, 5}, {10, 2}}},   // unsorted
        {shadowLine{{65530, 6}}},         // ends past pixel 65535
        {shadowLine{{0, 16384}}},         // shadow too long for a 15-bit code
        {shadowLine{{0, 1}, {16385, 1}}}, // light run too long
        std::vector<shadowLine>(RLE_MAX_LINES + 1),
    };
    for (const std::vector<shadowLine>& lines : refused)
        EXPECT_EQ(encodeRleFrame(lines, 0, 0, &frame), -1);
    EXPECT_TRUE(frame.empty());
}

TEST(rleCodec, framesSplitAtTheLineAndSizeLimits) {
    std::mt19937 random(11);
    std::vector<std::vector<uint8_t>> frames;
    ASSERT_EQ(encodeRleFrames(std::vector<shadowLine>(4000), 1, 500, &frames), 0);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_LT(frames[0].size(), 32u); // wide light codes: one repeat code for 1535 lines
    const uint32_t counts[] = {1536, 1536, 928};
    for (size_t i = 0; i < 3; ++i) {
        cmprBufferPtr in = readerOf(frames[i]);
        rleFrameHeader header;
        ASSERT_EQ(readRleAuxHeader(in.data(), &header), 0);
        EXPECT_EQ(header.numLines, counts[i]);
        EXPECT_EQ(header.lineCounter, 500u + 1536 * i);
    }

    // Busy lines: the size limit splits, and the frames decode one after the other.
    std::vector<shadowLine> lines = randomLines(random, 3000, 2048);
    ASSERT_EQ(encodeRleFrames(lines, 1, 0, &frames), 0);
    EXPECT_GT(frames.size(), 2u);
    std::vector<uint8_t> body;
    for (const std::vector<uint8_t>& frame : frames) {
        EXPECT_LE(frame.size(), RLE_MAX_COMPRESSED_SIZE);
        body.insert(body.end(), frame.begin(), frame.end());
    }
    cmprBufferPtr in = readerOf(body);
    std::vector<shadowLine> all;
    while (in->m_readSize > 0) {
        rleFrameHeader header;
        std::vector<shadowLine> decoded;
        ASSERT_EQ(decodeRleFrame(in.data(), &header, &decoded), 0);
        EXPECT_EQ(header.lineCounter, all.size());
        all.insert(all.end(), decoded.begin(), decoded.end());
    }
    EXPECT_EQ(all, lines);

    // One line of 32767 single-pixel shadows fills more than a frame on its own.
    shadowLine huge;
    for (uint16_t p = 1; p < 65535; p += 2)
        huge.push_back({p, 1});
    frames.resize(1);
    EXPECT_EQ(encodeRleFrames({shadowLine{}, huge}, 1, 0, &frames), -1);
    EXPECT_TRUE(frames.empty());
}

TEST(rleCodec, recordBytesDecodeThroughTheHeaderWord) {
    // A frame record keeps the header word, an f64 line position and the payload.
    cmprBufferPtr word = readerOf({0x64, 0x40, 0x01, 0x43});
    rleFrameHeader header;
    ASSERT_EQ(readRleHeaderWord(word.data(), &header), 0);
    EXPECT_EQ(header.compressedSize, 100u);
    EXPECT_EQ(header.minOffset, 5);
    EXPECT_EQ(header.shadowBits, 3);
    EXPECT_EQ(header.lightBits, 4);

    std::vector<shadowLine> lines = {shadowLine{{40, 3}}, shadowLine{}, shadowLine{{2, 9}}};
    std::vector<uint8_t> frame;
    ASSERT_EQ(encodeRleFrame(lines, 1, 0, &frame), 0);
    std::vector<uint8_t> record(frame.begin(), frame.begin() + 4);
    record.resize(12, 0);
    record.insert(record.end(), frame.begin() + RLE_FRAME_AUX_HEAD_OFFSET, frame.end());
    cmprBufferPtr in = readerOf(record);
    double position = 0;
    std::vector<shadowLine> decoded;
    ASSERT_EQ(readRleHeaderWord(in.data(), &header), 0);
    ASSERT_EQ(cmprReadF64(in.data(), &position), 0);
    header.numLines = 3; // carried beside the record bytes
    ASSERT_EQ(decodeRlePayload(in.data(), &header, &decoded), 0);
    EXPECT_EQ(decoded, lines);
}

TEST(rleCodec, damagedPayloadsFailCleanly) {
    std::mt19937 random(5);
    std::vector<shadowLine> lines = randomLines(random, 200, 512);
    std::vector<uint8_t> frame;
    ASSERT_EQ(encodeRleFrame(lines, 1, 0, &frame), 0);
    rleFrameHeader good;
    cmprBufferPtr probe = readerOf(frame);
    ASSERT_EQ(readRleAuxHeader(probe.data(), &good), 0);

    auto decodeAt16 = [](const std::vector<uint8_t>& bytes, const rleFrameHeader& header) {
        cmprBufferPtr in = readerOf(bytes);
        cmprSkip(in.data(), RLE_FRAME_AUX_HEAD_OFFSET);
        std::vector<shadowLine> decoded(1);
        int result = decodeRlePayload(in.data(), &header, &decoded);
        if (result != 0) {
            EXPECT_TRUE(decoded.empty());
            EXPECT_EQ(in->m_readPtr, in->m_data + RLE_FRAME_AUX_HEAD_OFFSET);
        }
        return result;
    };
    ASSERT_EQ(decodeAt16(frame, good), 0);
    rleFrameHeader wrong = good;
    wrong.numLines = 199;
    EXPECT_EQ(decodeAt16(frame, wrong), -1);
    wrong.numLines = 201;
    EXPECT_EQ(decodeAt16(frame, wrong), -1);
    std::vector<uint8_t> trailing = frame;
    trailing.back() |= 0x80;
    EXPECT_EQ(decodeAt16(trailing, good), -1);

    // Hand-made payloads of 15-bit codes: {code, ...} after an empty aux header.
    auto handMade = [&](std::vector<uint16_t> codes, uint32_t numLines) {
        cmprBufferPtr out = makeCmprBuffer(64);
        cmprFill(out.data(), RLE_FRAME_AUX_HEAD_OFFSET, nullptr);
        for (uint16_t code : codes)
            cmprWriteBits16(out.data(), code, 15);
        flushShiftBuffer(out.data());
        rleFrameHeader header;
        resetRleFrameHeader(&header);
        header.minOffset = 1023;
        setRleCodeBits(&header, 15, 15);
        header.numLines = numLines;
        header.compressedSize = uint32_t(out->m_writeSize);
        return decodeAt16({out->m_data, out->m_data + out->m_writeSize}, header);
    };
    const uint16_t FLAG = 0x4000;
    EXPECT_EQ(handMade({0, FLAG | 3, FLAG}, 1), 0);
    EXPECT_EQ(handMade({FLAG | 1, 0, FLAG | 3, FLAG}, 2), -1);    // repeat before any line
    EXPECT_EQ(handMade({0, 3, FLAG | 2, FLAG | 3, FLAG}, 1), -1); // flagged light in a line
    EXPECT_EQ(handMade({0, FLAG | 3}, 5), -1);                    // no end code
    EXPECT_EQ(handMade({16383, 16383, 16383, 16383 | FLAG, FLAG}, 1), -1); // past 65535

    for (int i = 0; i < 3000; ++i) {
        std::vector<uint8_t> damaged = frame;
        for (int flips = 1 + random() % 3; flips > 0; --flips)
            damaged[16 + random() % (damaged.size() - 16)] ^= uint8_t(1 << random() % 8);
        decodeAt16(damaged, good);
    }
}

TEST(rleCodec, aLineOfMoreShadowsThanTheSensorHasPixelsIsDamage) {
    // One-pixel shadows side by side: the most a line of the 1024-pixel sensor can hold.
    auto shadows = [](size_t count) {
        shadowLine line;
        for (size_t i = 0; i < count; ++i)
            line.push_back({uint16_t(i), 1});
        return line;
    };
    // The full sensor in every line of a frame decodes.
    std::vector<uint8_t> frame;
    ASSERT_EQ(encodeRleFrame(std::vector<shadowLine>(RLE_MAX_LINES, shadows(1024)), 1, 0, &frame),
              0);
    rleFrameHeader header;
    std::vector<shadowLine> decoded;
    EXPECT_EQ(decodeRleFrame(readerOf(frame).data(), &header, &decoded), 0);
    EXPECT_EQ(decoded.size(), RLE_MAX_LINES);
    // One shadow more is damage. The largest such line repeated to a full frame would decode
    // to some 200 MB of segments.
    for (size_t count : {size_t(1025), size_t(31000)}) {
        ASSERT_EQ(
            encodeRleFrame(std::vector<shadowLine>(RLE_MAX_LINES, shadows(count)), 1, 0, &frame),
            0);
        cmprBufferPtr in = readerOf(frame);
        EXPECT_EQ(decodeRleFrame(in.data(), &header, &decoded), -1) << count;
        EXPECT_TRUE(decoded.empty());
    }
}
