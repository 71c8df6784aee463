#include "format/cmprBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Values are copied between the block and memory as they lie, and the byte-order flags are
// never set, so the host has to be little-endian like the stored data.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the station stores little-endian data");

namespace {

// mask(n) = 2^n - 1 for n = 0..32.
const uint32_t MASK[33] = {
    0x00000000u, 0x00000001u, 0x00000003u, 0x00000007u, 0x0000000Fu, 0x0000001Fu, 0x0000003Fu,
    0x0000007Fu, 0x000000FFu, 0x000001FFu, 0x000003FFu, 0x000007FFu, 0x00000FFFu, 0x00001FFFu,
    0x00003FFFu, 0x00007FFFu, 0x0000FFFFu, 0x0001FFFFu, 0x0003FFFFu, 0x0007FFFFu, 0x000FFFFFu,
    0x001FFFFFu, 0x003FFFFFu, 0x007FFFFFu, 0x00FFFFFFu, 0x01FFFFFFu, 0x03FFFFFFu, 0x07FFFFFFu,
    0x0FFFFFFFu, 0x1FFFFFFFu, 0x3FFFFFFFu, 0x7FFFFFFFu, 0xFFFFFFFFu,
};

void clearShiftState(cmprBuffer* buffer) {
    buffer->m_shiftBuffer = 0;
    buffer->m_bitOffset = 0;
}

// Bytes that may still be written; -1 when the write cursor and size disagree.
int32_t writeRoom(const cmprBuffer* buffer) {
    if (!cmprUsable(buffer))
        return -1;
    if (buffer->m_writeSize < 0 || buffer->m_writeSize > buffer->m_capacity ||
        buffer->m_writePtr != buffer->m_data + buffer->m_writeSize)
        return -1;
    return buffer->m_capacity - buffer->m_writeSize;
}

int readBytes(cmprBuffer* buffer, void* value, int32_t count) {
    if (!buffer)
        return -1;
    clearShiftState(buffer);
    if (cmprReadable(buffer) < count)
        return -1;
    memcpy(value, buffer->m_readPtr, size_t(count));
    buffer->m_readPtr += count;
    buffer->m_readSize -= count;
    return 0;
}

// The next `count` bytes at the write cursor, the cursor moved past them, without flushing
// first; null (nothing moved) when they do not fit.
uint8_t* takeRoom(cmprBuffer* buffer, int32_t count) {
    if (count < 0 || writeRoom(buffer) < count)
        return nullptr;
    uint8_t* piece = buffer->m_writePtr;
    buffer->m_writePtr += count;
    buffer->m_writeSize += count;
    return piece;
}

// Stores `count` bytes at the write cursor without flushing first.
int storeBytes(cmprBuffer* buffer, const void* value, int32_t count) {
    uint8_t* piece = takeRoom(buffer, count);
    if (!piece)
        return -1;
    memmove(piece, value, size_t(count));
    return 0;
}

int writeBytes(cmprBuffer* buffer, const void* value, int32_t count) {
    if (flushShiftBuffer(buffer) != 0)
        return -1;
    return storeBytes(buffer, value, count);
}

// Loads the next word into the shift buffer; a tail of 1 to 3 bytes becomes the low bytes.
int loadWord(cmprBuffer* buffer) {
    int32_t room = cmprReadable(buffer);
    if (room <= 0)
        return -1;
    int32_t count = room < 4 ? room : 4;
    uint32_t word = 0;
    memcpy(&word, buffer->m_readPtr, size_t(count));
    buffer->m_readPtr += count;
    buffer->m_readSize -= count;
    buffer->m_shiftBuffer = word;
    buffer->m_bitOffset = 0;
    return 0;
}

int readBits(cmprBuffer* buffer, uint32_t* value, int bits, int limit) {
    if (!buffer || !value || bits < 1 || bits > limit || buffer->m_bitOffset > 31)
        return -1;
    if (buffer->m_bitOffset == 0 && loadWord(buffer) != 0)
        return -1;
    int offset = buffer->m_bitOffset;
    uint32_t result = buffer->m_shiftBuffer >> offset;
    if (offset + bits < 32) {
        *value = result & MASK[bits];
        buffer->m_bitOffset = uint8_t(offset + bits);
        return 0;
    }
    result &= MASK[32 - offset];
    if (offset + bits == 32) {
        // The word is used up; clearing it keeps its bits out of unflushShiftBuffer.
        clearShiftState(buffer);
        *value = result;
        return 0;
    }
    if (loadWord(buffer) != 0)
        return -1;
    int high = offset + bits - 32;
    result |= (buffer->m_shiftBuffer & MASK[high]) << (32 - offset);
    buffer->m_bitOffset = uint8_t(high);
    *value = result;
    return 0;
}

int writeBits(cmprBuffer* buffer, uint32_t value, int bits, int limit) {
    if (!buffer || bits < 1 || bits > limit || buffer->m_bitOffset > 31)
        return -1;
    value &= MASK[bits];
    int offset = buffer->m_bitOffset;
    if (offset + bits < 32) {
        buffer->m_shiftBuffer |= value << offset;
        buffer->m_bitOffset = uint8_t(offset + bits);
        return 0;
    }
    if (writeRoom(buffer) < 4)
        return -1;
    uint32_t word = buffer->m_shiftBuffer | ((value & MASK[32 - offset]) << offset);
    storeBytes(buffer, &word, 4);
    buffer->m_shiftBuffer = value >> (32 - offset);
    buffer->m_bitOffset = uint8_t(offset + bits - 32);
    return 0;
}

// A shared buffer and its first block are one allocation: a frame record's bytes cost one
// trip to the allocator instead of two. The block then lies right behind the buffer.
uint8_t* trailingBlock(cmprBuffer* buffer) {
    return reinterpret_cast<uint8_t*>(buffer + 1);
}

void deleteCmprBuffer(cmprBuffer* buffer) {
    cmprRelease(buffer);
    buffer->~cmprBuffer();
    free(buffer);
}

// Blocks that pooled buffers are carved from. A block is freed when the pool has moved on to
// the next one and the last buffer carved from it is gone.
struct alignas(16) poolBlock {
    size_t users; // buffers carved from it, plus one while it is the pool's current block
    size_t used;
};
const size_t POOL_BLOCK_SIZE = size_t(256) * 1024;
// Buffers larger than this get an allocation of their own.
const size_t POOL_LARGEST = POOL_BLOCK_SIZE / 8;

// The last block given up, kept for the next one: a block straight from the allocator is
// fresh memory the kernel has to fault in and clear page by page, for every 256 KiB of
// frames, when the pool moves on about as fast as the writer lets go.
poolBlock* g_spareBlock = nullptr;

void dropPoolUser(poolBlock* block) {
    if (--block->users != 0)
        return;
    if (g_spareBlock)
        free(block);
    else
        g_spareBlock = block;
}

struct bufferPool {
    poolBlock* current = nullptr;
    ~bufferPool() {
        if (current)
            dropPoolUser(current);
    }
    // Room for `size` bytes (a multiple of 16) in the current block, or a new block.
    uint8_t* carve(size_t size) {
        if (!current || current->used + size > POOL_BLOCK_SIZE) {
            poolBlock* fresh = g_spareBlock;
            g_spareBlock = nullptr;
            if (!fresh)
                fresh = static_cast<poolBlock*>(malloc(sizeof(poolBlock) + POOL_BLOCK_SIZE));
            if (!fresh)
                return nullptr;
            if (current)
                dropPoolUser(current);
            current = new (fresh) poolBlock{1, 0};
        }
        uint8_t* at = reinterpret_cast<uint8_t*>(current + 1) + current->used;
        current->used += size;
        ++current->users;
        return at;
    }
};

bufferPool& pool() {
    static bufferPool instance;
    return instance;
}

// A zero-filled buffer with its block right behind it, built in `memory`.
cmprBuffer* buildWithTrailingBlock(void* memory, int32_t capacity) {
    cmprBuffer* buffer = new (memory) cmprBuffer();
    buffer->m_data = trailingBlock(buffer);
    std::memset(buffer->m_data, 0, size_t(capacity));
    buffer->m_writePtr = buffer->m_data;
    buffer->m_readPtr = buffer->m_data;
    buffer->m_capacity = capacity;
    return buffer;
}

} // namespace

pooledCmprBufferPtr makePooledCmprBuffer(int32_t capacity) {
    if (capacity <= 0)
        return pooledCmprBufferPtr();
    static_assert(sizeof(pooledCmprHead) % 16 == 0 && sizeof(cmprBuffer) % 16 == 0,
                  "pooled buffers stay 16-byte aligned");
    const size_t size =
        (sizeof(pooledCmprHead) + sizeof(cmprBuffer) + size_t(capacity) + 15) & ~size_t(15);
    poolBlock* block = nullptr;
    void* memory;
    if (size > POOL_LARGEST) {
        memory = malloc(size);
    } else {
        bufferPool& buffers = pool();
        memory = buffers.carve(size);
        block = buffers.current;
    }
    if (!memory)
        return pooledCmprBufferPtr();
    pooledCmprHead* head = new (memory) pooledCmprHead{1, block};
    return pooledCmprBufferPtr(buildWithTrailingBlock(head + 1, capacity));
}

void releasePooledCmprBuffer(cmprBuffer* buffer) {
    pooledCmprHead* head = reinterpret_cast<pooledCmprHead*>(buffer) - 1;
    poolBlock* block = static_cast<poolBlock*>(head->block);
    cmprRelease(buffer);
    buffer->~cmprBuffer();
    if (block)
        dropPoolUser(block);
    else
        free(head);
}

cmprBufferPtr makeCmprBuffer(int32_t capacity) {
    if (capacity <= 0)
        return cmprBufferPtr();
    void* memory = calloc(sizeof(cmprBuffer) + size_t(capacity), 1);
    if (!memory)
        return cmprBufferPtr();
    cmprBuffer* buffer = new (memory) cmprBuffer();
    buffer->m_data = trailingBlock(buffer);
    buffer->m_writePtr = buffer->m_data;
    buffer->m_readPtr = buffer->m_data;
    buffer->m_capacity = capacity;
    return cmprBufferPtr(buffer, deleteCmprBuffer);
}

void cmprReset(cmprBuffer* buffer) {
    if (!buffer)
        return;
    buffer->m_readSize = 0;
    buffer->m_writeSize = 0;
    clearShiftState(buffer);
    buffer->m_writePtr = buffer->m_data;
    buffer->m_readPtr = buffer->m_data;
}

void cmprRelease(cmprBuffer* buffer) {
    if (!buffer)
        return;
    // A block made together with its buffer goes with the buffer.
    if (buffer->m_data != trailingBlock(buffer))
        free(buffer->m_data);
    *buffer = cmprBuffer();
}

uint32_t cmprByteSum(const cmprBuffer* buffer) {
    if (!cmprUsable(buffer) || buffer->m_writeSize <= 0)
        return 0;
    int32_t count =
        buffer->m_writeSize < buffer->m_capacity ? buffer->m_writeSize : buffer->m_capacity;
    const uint8_t* data = buffer->m_data;
    uint64_t total = 0;
    int32_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the sum of absolute differences against zero adds each half of
    // the vector into a 64-bit lane. The datafile of an interval of heavy rain is summed in a
    // fraction of the time a byte-wise loop takes.
    __m128i lanes = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    for (; count - i >= 16; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        lanes = _mm_add_epi64(lanes, _mm_sad_epu8(bytes, zero));
    }
    uint64_t halves[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(halves), lanes);
    total = halves[0] + halves[1];
#else
    // Eight bytes at a time: the bytes of a word are added pairwise into four 16-bit lanes,
    // which hold 128 words before they could overflow, and the lanes are then added up.
    const uint64_t BYTES = 0x00FF00FF00FF00FFull;
    const int32_t WORDS_PER_ROUND = 128;
    while (count - i >= 8) {
        uint64_t lanes = 0;
        for (int32_t w = 0; w < WORDS_PER_ROUND && count - i >= 8; ++w, i += 8) {
            uint64_t word;
            std::memcpy(&word, data + i, 8);
            lanes += (word & BYTES) + ((word >> 8) & BYTES);
        }
        total +=
            (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
    }
#endif
    for (; i < count; ++i)
        total += data[i];
    return uint32_t(total);
}

int cmprReadU8(cmprBuffer* buffer, uint8_t* value) {
    return readBytes(buffer, value, 1);
}
int cmprReadU16(cmprBuffer* buffer, uint16_t* value) {
    return readBytes(buffer, value, 2);
}
int cmprReadU32(cmprBuffer* buffer, uint32_t* value) {
    return readBytes(buffer, value, 4);
}
int cmprReadF32(cmprBuffer* buffer, float* value) {
    return readBytes(buffer, value, 4);
}
int cmprReadU64(cmprBuffer* buffer, uint64_t* value) {
    return readBytes(buffer, value, 8);
}
int cmprReadF64(cmprBuffer* buffer, double* value) {
    return readBytes(buffer, value, 8);
}

int cmprSkip(cmprBuffer* buffer, int32_t count) {
    if (!buffer)
        return -1;
    clearShiftState(buffer);
    if (count < 0 || cmprReadable(buffer) < count)
        return -1;
    buffer->m_readPtr += count;
    buffer->m_readSize -= count;
    return 0;
}

int cmprReadBits8(cmprBuffer* buffer, uint8_t* value, int bits) {
    uint32_t result = 0;
    if (!value || readBits(buffer, &result, bits, 8) != 0)
        return -1;
    *value = uint8_t(result);
    return 0;
}

int cmprReadBits16(cmprBuffer* buffer, uint16_t* value, int bits) {
    uint32_t result = 0;
    if (!value || readBits(buffer, &result, bits, 16) != 0)
        return -1;
    *value = uint16_t(result);
    return 0;
}

int unflushShiftBuffer(cmprBuffer* buffer, uint32_t* value) {
    if (!buffer || !value || buffer->m_bitOffset > 31)
        return -1;
    *value = buffer->m_shiftBuffer >> buffer->m_bitOffset;
    clearShiftState(buffer);
    return 0;
}

int cmprWriteU16(cmprBuffer* buffer, uint16_t value) {
    return writeBytes(buffer, &value, 2);
}
int cmprWriteU32(cmprBuffer* buffer, uint32_t value) {
    return writeBytes(buffer, &value, 4);
}
int cmprWriteF32(cmprBuffer* buffer, float value) {
    return writeBytes(buffer, &value, 4);
}
int cmprWriteU64(cmprBuffer* buffer, uint64_t value) {
    return writeBytes(buffer, &value, 8);
}
int cmprWriteF64(cmprBuffer* buffer, double value) {
    return writeBytes(buffer, &value, 8);
}

int cmprFill(cmprBuffer* buffer, int32_t count, const uint8_t* byte) {
    if (!buffer || count < 0)
        return -1;
    if (count == 0)
        return 0;
    if (flushShiftBuffer(buffer) != 0 || writeRoom(buffer) < count)
        return -1;
    if (byte)
        memset(buffer->m_writePtr, *byte, size_t(count));
    buffer->m_writePtr += count;
    buffer->m_writeSize += count;
    return 0;
}

int cmprCopy(cmprBuffer* buffer, const uint8_t* source, int32_t count) {
    if (flushShiftBuffer(buffer) != 0 || !source || count <= 0)
        return -1;
    return storeBytes(buffer, source, count);
}

uint8_t* cmprReserve(cmprBuffer* buffer, int32_t count) {
    return flushShiftBuffer(buffer) == 0 ? takeRoom(buffer, count) : nullptr;
}

int cmprWriteBits8(cmprBuffer* buffer, uint8_t value, int bits) {
    return writeBits(buffer, value, bits, 8);
}

int cmprWriteBits16(cmprBuffer* buffer, uint16_t value, int bits) {
    return writeBits(buffer, value, bits, 16);
}

int flushShiftBuffer(cmprBuffer* buffer) {
    if (!buffer || buffer->m_bitOffset > 31)
        return -1;
    if (buffer->m_bitOffset == 0)
        return 0;
    // One byte more than the whole bytes filled: 8 pending bits take two bytes.
    int32_t count = buffer->m_bitOffset / 8 + 1;
    uint32_t word = buffer->m_shiftBuffer;
    if (storeBytes(buffer, &word, count) != 0)
        return -1;
    clearShiftState(buffer);
    return 0;
}
