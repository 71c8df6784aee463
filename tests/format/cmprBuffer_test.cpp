#include "format/cmprBuffer.h"
#include "format/readerOf.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> written(const cmprBufferPtr& buffer) {
    return std::vector<uint8_t>(buffer->m_data, buffer->m_data + buffer->m_writeSize);
}

// Reference packer: keeps every pending bit on its own and lays them out byte by byte.
struct referenceWriter {
    std::vector<uint8_t> bytes;
    std::vector<int> pending;
    void bits(uint32_t value, int count) {
        for (int i = 0; i < count; ++i)
            pending.push_back((value >> i) & 1);
    }
    void flush() {
        size_t rest = pending.size() % 32;
        size_t count = pending.size() / 32 * 4 + (rest ? rest / 8 + 1 : 0);
        size_t first = bytes.size();
        bytes.resize(first + count, 0);
        for (size_t i = 0; i < pending.size(); ++i)
            bytes[first + i / 8] |= uint8_t(pending[i] << (i % 8));
        pending.clear();
    }
    void raw(const void* value, size_t count) {
        flush();
        const uint8_t* p = static_cast<const uint8_t*>(value);
        bytes.insert(bytes.end(), p, p + count);
    }
};

} // namespace

TEST(cmprBuffer, headerWordExampleWritesOneWordAndReadsBack) {
    cmprBufferPtr out = makeCmprBuffer(8);
    ASSERT_EQ(cmprWriteBits16(out.data(), 100, 14), 0);
    ASSERT_EQ(cmprWriteBits16(out.data(), 5, 10), 0);
    ASSERT_EQ(cmprWriteBits8(out.data(), 3, 4), 0);
    ASSERT_EQ(cmprWriteBits8(out.data(), 4, 4), 0);
    EXPECT_EQ(written(out), (std::vector<uint8_t>{0x64, 0x40, 0x01, 0x43}));
    EXPECT_EQ(out->m_bitOffset, 0);

    cmprBufferPtr in = readerOf({0x64, 0x40, 0x01, 0x43, 0x01, 0, 0, 0});
    uint16_t a = 0, b = 0;
    uint8_t c = 0, d = 0, next = 0;
    ASSERT_EQ(cmprReadBits16(in.data(), &a, 14), 0);
    ASSERT_EQ(cmprReadBits16(in.data(), &b, 10), 0);
    ASSERT_EQ(cmprReadBits8(in.data(), &c, 4), 0);
    ASSERT_EQ(cmprReadBits8(in.data(), &d, 4), 0);
    EXPECT_EQ(std::vector<int>({a, b, c, d}), std::vector<int>({100, 5, 3, 4}));
    EXPECT_EQ(in->m_readSize, 4);
    // The word is used up: nothing of it is left over, and the next bit comes from a new word.
    uint32_t rest = 1;
    EXPECT_EQ(unflushShiftBuffer(in.data(), &rest), 0);
    EXPECT_EQ(rest, 0u);
    ASSERT_EQ(cmprReadBits8(in.data(), &next, 1), 0);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(in->m_readSize, 0);
}

TEST(cmprBuffer, flushStoresOneByteMoreThanTheWholeBytesPending) {
    for (int bits : {3, 8, 17}) {
        cmprBufferPtr out = makeCmprBuffer(8);
        ASSERT_EQ(cmprWriteBits16(out.data(), 0xFFFF, bits > 16 ? 16 : bits), 0);
        if (bits > 16) {
            ASSERT_EQ(cmprWriteBits8(out.data(), 1, bits - 16), 0);
        }
        ASSERT_EQ(flushShiftBuffer(out.data()), 0);
        EXPECT_EQ(out->m_writeSize, bits / 8 + 1) << bits;
        EXPECT_EQ(out->m_bitOffset, 0);
    }
    cmprBufferPtr full = makeCmprBuffer(1);
    ASSERT_EQ(cmprWriteBits8(full.data(), 0xFF, 8), 0);
    EXPECT_EQ(flushShiftBuffer(full.data()), -1);
    EXPECT_EQ(full->m_writeSize, 0);
}

TEST(cmprBuffer, alignedReadAfterBitsStartsBehindTheWholeWord) {
    cmprBufferPtr in = readerOf({0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12});
    uint8_t bits = 0;
    uint16_t value = 0;
    ASSERT_EQ(cmprReadBits8(in.data(), &bits, 5), 0);
    ASSERT_EQ(cmprReadU16(in.data(), &value), 0);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(in->m_bitOffset, 0);
    EXPECT_EQ(in->m_readSize, 0);
}

TEST(cmprBuffer, tailOfThreeBytesReadsBitByBitThenZeros) {
    const std::vector<uint8_t> bytes = {0xA5, 0x0F, 0x81};
    cmprBufferPtr in = readerOf(bytes);
    for (int i = 0; i < 32; ++i) {
        uint8_t bit = 9;
        ASSERT_EQ(cmprReadBits8(in.data(), &bit, 1), 0) << i;
        EXPECT_EQ(bit, i < 24 ? (bytes[i / 8] >> (i % 8)) & 1 : 0) << i;
        EXPECT_EQ(in->m_readSize, 0);
    }
    uint8_t bit = 0;
    EXPECT_EQ(cmprReadBits8(in.data(), &bit, 1), -1);
}

TEST(cmprBuffer, refusedRequestsConsumeNothing) {
    cmprBufferPtr in = readerOf({1, 2, 3, 4});
    uint8_t small = 0;
    uint16_t wide = 0;
    EXPECT_EQ(cmprReadBits8(in.data(), &small, 9), -1);
    EXPECT_EQ(cmprReadBits16(in.data(), &wide, 17), -1);
    EXPECT_EQ(cmprReadBits8(in.data(), &small, 0), -1);
    EXPECT_EQ(cmprSkip(in.data(), 5), -1);
    EXPECT_EQ(cmprSkip(in.data(), -1), -1);
    uint64_t big = 0;
    EXPECT_EQ(cmprReadU64(in.data(), &big), -1);
    EXPECT_EQ(in->m_readPtr, in->m_data);
    EXPECT_EQ(in->m_readSize, 4);
    EXPECT_EQ(cmprSkip(in.data(), 0), 0);
    EXPECT_EQ(cmprSkip(in.data(), 4), 0);
    EXPECT_EQ(cmprSkip(in.data(), 1), -1);
}

TEST(cmprBuffer, readsStopAtTheEndOfTheBlockWhateverTheOwnerClaims) {
    cmprBufferPtr in = makeCmprBuffer(6);
    in->m_readSize = 1000;
    uint32_t word = 0;
    uint16_t field = 0;
    EXPECT_EQ(cmprReadU32(in.data(), &word), 0);
    EXPECT_EQ(cmprReadU32(in.data(), &word), -1);
    EXPECT_EQ(cmprReadBits16(in.data(), &field, 16), 0); // the 2-byte tail
    EXPECT_EQ(cmprReadBits16(in.data(), &field, 16), 0); // its zero-filled high half
    EXPECT_EQ(cmprReadBits16(in.data(), &field, 1), -1);
    EXPECT_EQ(in->m_readPtr, in->m_data + 6);
}

TEST(cmprBuffer, writesStayInsideTheCapacity) {
    cmprBufferPtr out = makeCmprBuffer(6);
    const uint8_t byte = 0xAB;
    ASSERT_EQ(cmprWriteBits16(out.data(), 0x1FF, 9), 0);
    EXPECT_EQ(cmprWriteU32(out.data(), 7), 0); // flushes 2 bytes first
    EXPECT_EQ(cmprWriteU16(out.data(), 1), -1);
    EXPECT_EQ(cmprFill(out.data(), 0, &byte), 0);
    EXPECT_EQ(cmprFill(out.data(), 1, nullptr), -1);
    EXPECT_EQ(cmprCopy(out.data(), &byte, 0), -1);
    EXPECT_EQ(cmprCopy(out.data(), nullptr, 1), -1);
    EXPECT_EQ(written(out), (std::vector<uint8_t>{0xFF, 0x01, 7, 0, 0, 0}));
    EXPECT_EQ(cmprByteSum(out.data()), 0xFFu + 1 + 7);

    cmprBufferPtr three = makeCmprBuffer(3);
    ASSERT_EQ(cmprWriteBits16(three.data(), 0xFFFF, 16), 0);
    EXPECT_EQ(cmprWriteBits16(three.data(), 0xFFFF, 16), -1); // the word would not fit
    EXPECT_EQ(three->m_bitOffset, 16);
    EXPECT_EQ(cmprFill(three.data(), 1, &byte), -1); // the flush takes all three bytes
    cmprReset(three.data());
    EXPECT_EQ(cmprFill(three.data(), 2, nullptr), 0);
    EXPECT_EQ(cmprCopy(three.data(), &byte, 1), 0);
    EXPECT_EQ(three->m_data[2], 0xAB);

    // A reserved piece begins behind the flushed bits; one that does not fit moves nothing.
    cmprReset(three.data());
    ASSERT_EQ(cmprWriteBits8(three.data(), 1, 4), 0);
    EXPECT_EQ(cmprReserve(three.data(), 2), three->m_data + 1);
    EXPECT_EQ(cmprReserve(three.data(), 1), nullptr);
    EXPECT_EQ(three->m_writeSize, 3);
}

TEST(cmprBuffer, missingOrEmptyBufferFailsEverything) {
    uint8_t small = 0;
    uint32_t word = 0;
    EXPECT_EQ(cmprReadBits8(nullptr, &small, 1), -1);
    EXPECT_EQ(cmprWriteBits8(nullptr, 1, 1), -1);
    EXPECT_EQ(cmprReadU32(nullptr, &word), -1);
    EXPECT_EQ(cmprWriteU32(nullptr, 1), -1);
    EXPECT_EQ(flushShiftBuffer(nullptr), -1);
    EXPECT_EQ(unflushShiftBuffer(nullptr, &word), -1);
    cmprReset(nullptr);
    cmprRelease(nullptr);
    EXPECT_TRUE(makeCmprBuffer(0).isNull());
    EXPECT_TRUE(makeCmprBuffer(-4).isNull());

    cmprBuffer empty{};
    EXPECT_FALSE(cmprUsable(&empty));
    EXPECT_EQ(cmprWriteU16(&empty, 1), -1);
    EXPECT_EQ(cmprReadU8(&empty, &small), -1);
    EXPECT_EQ(cmprByteSum(&empty), 0u);
}

TEST(cmprBuffer, releaseClearsAll) {
    cmprBufferPtr buffer = makeCmprBuffer(4);
    ASSERT_EQ(cmprWriteU32(buffer.data(), 0xFFFFFFFF), 0);
    cmprRelease(buffer.data());
    EXPECT_EQ(buffer->m_data, nullptr);
    EXPECT_EQ(buffer->m_capacity, 0);
}

TEST(cmprBuffer, randomMixOfFieldsAndValuesRoundTrips) {
    std::mt19937 random(20240611);
    struct op {
        int bits; // 1..16 for a bit field, 0 for a byte-aligned value of `bytes` bytes
        int bytes;
        uint64_t value;
    };
    std::vector<op> ops;
    int pendingBits = 0;
    for (int i = 0; i < 20000; ++i) {
        bool aligned = random() % 6 == 0;
        // Bits then bytes only read back where the writer's flush reached the word's last
        // byte; otherwise the reader starts the value behind the word, so fill the word up.
        while (aligned && pendingBits % 32 != 0 && pendingBits % 32 < 24) {
            int fill = std::min(16, 24 - pendingBits % 32);
            ops.push_back({fill, 0, random() & ((1u << fill) - 1)});
            pendingBits += fill;
        }
        int bits = aligned ? 0 : int(1 + random() % 16);
        uint64_t value = (uint64_t(random()) << 32) | random();
        ops.push_back({bits, 2 << (random() % 3), bits ? value & ((1u << bits) - 1) : value});
        pendingBits = aligned ? 0 : pendingBits + bits;
    }
    cmprBufferPtr out = makeCmprBuffer(1 << 17);
    referenceWriter reference;
    for (const op& o : ops) {
        if (o.bits) {
            ASSERT_EQ(cmprWriteBits16(out.data(), uint16_t(o.value), o.bits), 0);
            reference.bits(uint32_t(o.value), o.bits);
            continue;
        }
        int result = o.bytes == 2   ? cmprWriteU16(out.data(), uint16_t(o.value))
                     : o.bytes == 4 ? cmprWriteU32(out.data(), uint32_t(o.value))
                                    : cmprWriteU64(out.data(), o.value);
        ASSERT_EQ(result, 0);
        reference.raw(&o.value, size_t(o.bytes));
    }
    ASSERT_EQ(flushShiftBuffer(out.data()), 0);
    reference.flush();
    ASSERT_EQ(written(out), reference.bytes);

    cmprBufferPtr in = readerOf(reference.bytes);
    for (size_t i = 0; i < ops.size(); ++i) {
        uint16_t u16 = 0;
        uint32_t u32 = 0;
        uint64_t u64 = 0;
        if (ops[i].bits) {
            ASSERT_EQ(cmprReadBits16(in.data(), &u16, ops[i].bits), 0) << i;
            ASSERT_EQ(u16, ops[i].value) << i;
        } else if (ops[i].bytes == 2) {
            ASSERT_EQ(cmprReadU16(in.data(), &u16), 0) << i;
            ASSERT_EQ(u16, uint16_t(ops[i].value)) << i;
        } else if (ops[i].bytes == 4) {
            ASSERT_EQ(cmprReadU32(in.data(), &u32), 0) << i;
            ASSERT_EQ(u32, uint32_t(ops[i].value)) << i;
        } else {
            ASSERT_EQ(cmprReadU64(in.data(), &u64), 0) << i;
            ASSERT_EQ(u64, ops[i].value) << i;
        }
    }
    EXPECT_EQ(in->m_readSize, 0);
}

TEST(cmprBuffer, pooledBuffersKeepTheirBytesWhateverBecomesOfTheOthers) {
    // More than one pool block's worth, let go of out of order: no buffer may lose its bytes
    // to another.
    std::vector<pooledCmprBufferPtr> buffers;
    for (int i = 0; i < 3000; ++i) {
        pooledCmprBufferPtr buffer = makePooledCmprBuffer(100 + i % 200);
        ASSERT_TRUE(cmprUsable(buffer));
        ASSERT_EQ(buffer->m_data[buffer->m_capacity - 1], 0) << "zero-filled";
        ASSERT_EQ(cmprFill(buffer.data(), buffer->m_capacity, reinterpret_cast<uint8_t*>(&i)), 0);
        buffers.push_back(buffer);
    }
    for (size_t i = 0; i < buffers.size(); i += 2)
        buffers[i].reset();
    // A copy shares the bytes and keeps them when the original lets go.
    pooledCmprBufferPtr copy = buffers[3];
    buffers[3].reset();
    EXPECT_EQ(cmprByteSum(copy.data()), uint32_t(3) * copy->m_capacity);
    for (size_t i = 5; i < buffers.size(); i += 2)
        EXPECT_EQ(cmprByteSum(buffers[i].data()), uint32_t(uint8_t(i)) * buffers[i]->m_capacity);
    EXPECT_TRUE(makePooledCmprBuffer(0).isNull());
    EXPECT_EQ(makePooledCmprBuffer(1 << 20)->m_capacity, 1 << 20) << "large: a block of its own";
}

// The byte sum that closes every datafile, over sizes around its words and rounds and over
// bytes that fill every lane to the top: the same as adding the bytes one by one.
TEST(cmprBuffer, byteSumOfEveryLengthAndContent) {
    std::mt19937 random(11);
    for (int32_t size : {1, 7, 8, 9, 15, 16, 17, 1023, 1024, 1025, 8 * 128 * 3 + 5, 1 << 20}) {
        for (int fill : {0xFF, -1}) {
            cmprBufferPtr buffer = makeCmprBuffer(size);
            std::vector<uint8_t> bytes(static_cast<size_t>(size));
            for (uint8_t& b : bytes)
                b = fill < 0 ? uint8_t(random()) : uint8_t(fill);
            ASSERT_EQ(cmprCopy(buffer.data(), bytes.data(), size), 0);
            uint32_t expected = 0;
            for (uint8_t b : bytes)
                expected += b;
            EXPECT_EQ(cmprByteSum(buffer.data()), expected) << size << " " << fill;
        }
    }
}
