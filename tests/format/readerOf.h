// Test helper of the codec tests: a buffer whose unread bytes are given, as the
// transfer-file reader leaves its buffer after filling it.
#pragma once

#include "format/cmprBuffer.h"

#include <cstring>
#include <vector>

// The block has 8 spare bytes behind `bytes`, so reads must stop at m_readSize.
inline cmprBufferPtr readerOf(const std::vector<uint8_t>& bytes) {
    cmprBufferPtr buffer = makeCmprBuffer(int32_t(bytes.size()) + 8);
    memcpy(buffer->m_data, bytes.data(), bytes.size());
    buffer->m_readSize = int32_t(bytes.size());
    return buffer;
}
