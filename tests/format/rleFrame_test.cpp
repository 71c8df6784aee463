#include "format/rleFrame.h"

#include <gtest/gtest.h>

namespace {

// A buffer holding one aux header and `extra` zero bytes, ready for reading.
cmprBufferPtr auxHeader(uint8_t lightBits, uint8_t shadowBits, uint16_t numLines, int extra = 0) {
    rleFrameHeader header;
    resetRleFrameHeader(&header);
    header.compressedSize = 300;
    header.minOffset = 1023;
    header.lightBits = lightBits;
    header.shadowBits = shadowBits;
    cmprBufferPtr buffer = makeCmprBuffer(RLE_FRAME_AUX_HEAD_OFFSET + extra);
    EXPECT_EQ(writeRleHeaderWord(&header, buffer.data()), 0);
    EXPECT_EQ(cmprWriteU16(buffer.data(), 77), 0);
    EXPECT_EQ(cmprWriteU64(buffer.data(), 123456789012ull), 0);
    EXPECT_EQ(cmprWriteU16(buffer.data(), numLines), 0);
    buffer->m_readSize = RLE_FRAME_AUX_HEAD_OFFSET + extra;
    return buffer;
}

void expectReset(const rleFrameHeader& header) {
    EXPECT_EQ(header.minOffset, 0xFFFF);
    EXPECT_EQ(header.lightBits, 16);
    EXPECT_EQ(header.lightFlag, 0x8000);
    EXPECT_EQ(header.maxRepeat, 0x7FFF);
    EXPECT_EQ(header.compressedSize, 0u);
    EXPECT_EQ(header.numLines, 0u);
    EXPECT_EQ(header.syncId, 0xFFFF);
}

} // namespace

TEST(rleFrame, auxHeaderReadsBackWithItsFlags) {
    cmprBufferPtr buffer = auxHeader(5, 15, 1536);
    rleFrameHeader header;
    ASSERT_EQ(readRleAuxHeader(buffer.data(), &header), 0);
    EXPECT_EQ(header.compressedSize, 300u);
    EXPECT_EQ(header.minOffset, 1023);
    EXPECT_EQ(header.lightBits, 5);
    EXPECT_EQ(header.lightFlag, 16);
    EXPECT_EQ(header.maxRepeat, 15);
    EXPECT_EQ(header.shadowBits, 15);
    EXPECT_EQ(header.shadowFlag, 0x4000);
    EXPECT_EQ(header.syncId, 77);
    EXPECT_EQ(header.lineCounter, 123456789012ull);
    EXPECT_EQ(header.numLines, 1536u);
    EXPECT_EQ(buffer->m_readSize, 0);
}

TEST(rleFrame, auxHeaderRefusesBadWidthsTooManyLinesAndShortInput) {
    rleFrameHeader header;
    for (uint8_t bits : {0, 1}) {
        cmprBufferPtr light = auxHeader(bits, 4, 10);
        EXPECT_EQ(readRleAuxHeader(light.data(), &header), -1);
        expectReset(header);
        cmprBufferPtr shadow = auxHeader(4, bits, 10);
        EXPECT_EQ(readRleAuxHeader(shadow.data(), &header), -1);
    }
    cmprBufferPtr lines = auxHeader(4, 4, 1537);
    EXPECT_EQ(readRleAuxHeader(lines.data(), &header), -1);
    expectReset(header);

    cmprBufferPtr shortInput = auxHeader(4, 4, 10);
    shortInput->m_readSize = 12;
    EXPECT_EQ(readRleAuxHeader(shortInput.data(), &header), -1);
    shortInput->m_readSize = 15; // passes the first check, but numLines is missing
    EXPECT_EQ(readRleAuxHeader(shortInput.data(), &header), -1);
    expectReset(header);
}

TEST(rleFrame, auxHeaderNeedsZeroBitsAfterThePreviousFrame) {
    cmprBufferPtr buffer = auxHeader(4, 4, 10);
    rleFrameHeader header;
    buffer->m_shiftBuffer = 0x100;
    buffer->m_bitOffset = 4;
    EXPECT_EQ(readRleAuxHeader(buffer.data(), &header), -1);
    buffer->m_shiftBuffer = 0x0F;
    buffer->m_bitOffset = 4;
    EXPECT_EQ(readRleAuxHeader(buffer.data(), &header), 0);
}

TEST(rleFrame, headerWordWriterChecksItsFieldsAndLeavesNothingPendingOnFailure) {
    rleFrameHeader header;
    resetRleFrameHeader(&header);
    header.compressedSize = 16383;
    header.minOffset = 1023;
    header.lightBits = 15;
    header.shadowBits = 15;
    cmprBufferPtr buffer = makeCmprBuffer(4);
    ASSERT_EQ(writeRleHeaderWord(&header, buffer.data()), 0);
    EXPECT_EQ(writeRleHeaderWord(&header, buffer.data()), -1); // full
    EXPECT_EQ(buffer->m_bitOffset, 0);
    cmprReset(buffer.data());
    header.compressedSize = 16384;
    EXPECT_EQ(writeRleHeaderWord(&header, buffer.data()), -1);
    header.compressedSize = 16;
    header.minOffset = 1024;
    EXPECT_EQ(writeRleHeaderWord(&header, buffer.data()), -1);
    header.minOffset = 0;
    header.lightBits = 16;
    EXPECT_EQ(writeRleHeaderWord(&header, buffer.data()), -1);
    EXPECT_EQ(buffer->m_writeSize, 0);
}
