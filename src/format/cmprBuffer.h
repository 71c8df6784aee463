// cmprBuffer: an owned byte block with a read cursor, a write cursor and a 32-bit shift word.
// Every byte-level structure of the station passes through it: little-endian values at byte
// positions, and bit fields of 1 to 16 bits packed least-significant bit first into 32-bit
// little-endian words. Every operation checks its bounds; 0 is success, -1 failure.
#pragma once

#include <QSharedPointer>

#include <cstddef>
#include <cstdint>

struct cmprBuffer {
    uint8_t* m_data;        // start of the owned block (null when none)
    uint8_t* m_writePtr;    // next byte to write
    uint8_t* m_readPtr;     // next byte to read
    int32_t m_capacity;     // size of the block
    int32_t m_writeSize;    // bytes written since the last reset
    int32_t m_readSize;     // bytes still unread; set by the owner after filling the block
    uint32_t m_shiftBuffer; // word being read or assembled
    uint8_t m_bitOffset;    // bits of the shift word consumed (reading) or filled (writing)
};

typedef QSharedPointer<cmprBuffer> cmprBufferPtr;

// A new shared buffer with a zero-filled block of `capacity` bytes; null when it cannot be
// had. The deleter frees block and buffer.
cmprBufferPtr makeCmprBuffer(int32_t capacity);

// Count in front of a pooled buffer (see pooledCmprBufferPtr).
struct pooledCmprHead {
    size_t users;
    void* block; // the pool block it was carved from; null for a block of its own
};
// Called when the last handle on a pooled buffer lets go.
void releasePooledCmprBuffer(cmprBuffer* buffer);

// A shared handle on a pooled buffer, for the bytes of frame records: hundreds of thousands
// are made and let go of for each datafile, and every record is queued, paired and written
// once. Where buffers pass between the station's parts they are cmprBufferPtr, as the design's
// shared-pointer convention asks; a record's own bytes are counted more cheaply, because a
// QSharedPointer cost a count block from the allocator and locked instructions per frame,
// more than reading, pairing and writing the frame. The count lies in front of the buffer,
// is not atomic and is not allocated apart: one thread only.
class pooledCmprBufferPtr {
public:
    pooledCmprBufferPtr() = default;
    pooledCmprBufferPtr(const pooledCmprBufferPtr& other) : m_buffer(other.m_buffer) {
        if (m_buffer)
            ++head()->users;
    }
    pooledCmprBufferPtr(pooledCmprBufferPtr&& other) noexcept : m_buffer(other.m_buffer) {
        other.m_buffer = nullptr;
    }
    pooledCmprBufferPtr& operator=(pooledCmprBufferPtr other) noexcept {
        cmprBuffer* mine = m_buffer;
        m_buffer = other.m_buffer;
        other.m_buffer = mine;
        return *this;
    }
    ~pooledCmprBufferPtr() { reset(); }

    void reset() {
        if (m_buffer && --head()->users == 0)
            releasePooledCmprBuffer(m_buffer);
        m_buffer = nullptr;
    }
    cmprBuffer* data() const { return m_buffer; }
    cmprBuffer* operator->() const { return m_buffer; }
    explicit operator bool() const { return m_buffer != nullptr; }
    bool isNull() const { return m_buffer == nullptr; }

private:
    friend pooledCmprBufferPtr makePooledCmprBuffer(int32_t capacity);
    explicit pooledCmprBufferPtr(cmprBuffer* adopted) : m_buffer(adopted) {}
    pooledCmprHead* head() const { return reinterpret_cast<pooledCmprHead*>(m_buffer) - 1; }

    cmprBuffer* m_buffer = nullptr;
};

// A zero-filled buffer of `capacity` bytes, for the many small buffers made one after the
// other and let go of in about the same order (the bytes of frame records): they are carved
// from larger blocks that go back to the allocator when their last buffer is gone; a large
// one gets an allocation of its own. Null when it cannot be had. For one thread only.
pooledCmprBufferPtr makePooledCmprBuffer(int32_t capacity);
// True when the buffer exists, has a block and a capacity above 0.
inline bool cmprUsable(const cmprBuffer* buffer) {
    return buffer && buffer->m_data && buffer->m_capacity > 0;
}
inline bool cmprUsable(const cmprBufferPtr& buffer) {
    return cmprUsable(buffer.data());
}
inline bool cmprUsable(const pooledCmprBufferPtr& buffer) {
    return cmprUsable(buffer.data());
}

// Bytes that may be read at the read cursor (m_readSize, but never past the block); -1 for a
// buffer that is not usable or whose cursor lies outside its block. Asked for every frame read,
// so it is inline.
inline int32_t cmprReadable(const cmprBuffer* buffer) {
    if (!cmprUsable(buffer) || buffer->m_readSize < 0 || buffer->m_readPtr < buffer->m_data ||
        buffer->m_readPtr > buffer->m_data + buffer->m_capacity)
        return -1;
    const int32_t toEnd = int32_t(buffer->m_data + buffer->m_capacity - buffer->m_readPtr);
    return buffer->m_readSize < toEnd ? buffer->m_readSize : toEnd;
}

void cmprReset(cmprBuffer* buffer);
void cmprRelease(cmprBuffer* buffer);
// Sum of the first m_writeSize bytes as unsigned values.
uint32_t cmprByteSum(const cmprBuffer* buffer);

// Byte-aligned reads; each discards the shift state first.
int cmprReadU8(cmprBuffer* buffer, uint8_t* value);
int cmprReadU16(cmprBuffer* buffer, uint16_t* value);
int cmprReadU32(cmprBuffer* buffer, uint32_t* value);
int cmprReadF32(cmprBuffer* buffer, float* value);
int cmprReadU64(cmprBuffer* buffer, uint64_t* value);
int cmprReadF64(cmprBuffer* buffer, double* value);
int cmprSkip(cmprBuffer* buffer, int32_t count);

// Bit-field reads of up to 8 and up to 16 bits.
int cmprReadBits8(cmprBuffer* buffer, uint8_t* value, int bits);
int cmprReadBits16(cmprBuffer* buffer, uint16_t* value, int bits);
// The unread bits of the current word; clears the shift state.
int unflushShiftBuffer(cmprBuffer* buffer, uint32_t* value);

// Byte-aligned writes; each flushes pending bits first.
int cmprWriteU16(cmprBuffer* buffer, uint16_t value);
int cmprWriteU32(cmprBuffer* buffer, uint32_t value);
int cmprWriteF32(cmprBuffer* buffer, float value);
int cmprWriteU64(cmprBuffer* buffer, uint64_t value);
int cmprWriteF64(cmprBuffer* buffer, double value);
// Writes `count` copies of `*byte`, or only advances over `count` bytes when `byte` is null.
int cmprFill(cmprBuffer* buffer, int32_t count, const uint8_t* byte);
int cmprCopy(cmprBuffer* buffer, const uint8_t* source, int32_t count);
// Flushes the pending bits and hands out the next `count` bytes at the write cursor for the
// caller to fill, the cursor moved past them: one check for a piece laid down from several
// parts. Null (nothing moved) when they do not fit.
uint8_t* cmprReserve(cmprBuffer* buffer, int32_t count);

// Bit-field writes of up to 8 and up to 16 bits (the value is masked to `bits`).
int cmprWriteBits8(cmprBuffer* buffer, uint8_t value, int bits);
int cmprWriteBits16(cmprBuffer* buffer, uint16_t value, int bits);
// Stores the pending bits of the shift word as m_bitOffset / 8 + 1 bytes (so 8 pending bits
// take two bytes, the second one zero).
int flushShiftBuffer(cmprBuffer* buffer);
