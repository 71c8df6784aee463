// The deque in which the camera queues and pairing hold frame records. A deque takes a block
// of memory for every few records at its back and gives one back at its front; in heavy rain
// that is tens of thousands of blocks a minute, all of one size, in bursts larger than the C
// library's per-thread cache. A free list of this thread keeps given-back blocks for reuse.
#pragma once

#include "output/frameRecord.h"

#include <cstddef>
#include <deque>
#include <new>
#include <vector>

namespace frameDequeDetail {

// Blocks a thread keeps for reuse: more than heavy rain moves through the queues between two
// datafiles; beyond that they go back to the C library. None under AddressSanitizer, which
// is to see every block's life.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t KEPT_BLOCKS = 0;
#else
constexpr size_t KEPT_BLOCKS = 4096;
#endif

// Set once the thread's free list is gone (at thread or program end): a deque destroyed
// after it gives its blocks straight back.
inline thread_local bool g_listGone = false;

struct freeList {
    size_t bytes = 0; // the size of the blocks kept: the first size given back
    std::vector<void*> blocks;
    ~freeList() {
        for (void* block : blocks)
            ::operator delete(block);
        g_listGone = true;
    }
};

template <class T> freeList& listOf() {
    static thread_local freeList list;
    return list;
}

} // namespace frameDequeDetail

template <class T> struct recycledBlocks {
    using value_type = T;

    recycledBlocks() = default;
    template <class U> recycledBlocks(const recycledBlocks<U>&) {}

    T* allocate(size_t n) {
        const size_t bytes = n * sizeof(T);
        if (!frameDequeDetail::g_listGone) {
            frameDequeDetail::freeList& list = frameDequeDetail::listOf<T>();
            if (bytes == list.bytes && !list.blocks.empty()) {
                void* block = list.blocks.back();
                list.blocks.pop_back();
                return static_cast<T*>(block);
            }
        }
        return static_cast<T*>(::operator new(bytes));
    }

    void deallocate(T* block, size_t n) {
        const size_t bytes = n * sizeof(T);
        if (!frameDequeDetail::g_listGone) {
            frameDequeDetail::freeList& list = frameDequeDetail::listOf<T>();
            if (list.bytes == 0)
                list.bytes = bytes;
            if (bytes == list.bytes && list.blocks.size() < frameDequeDetail::KEPT_BLOCKS) {
                list.blocks.push_back(block);
                return;
            }
        }
        ::operator delete(block);
    }

    template <class U> bool operator==(const recycledBlocks<U>&) const { return true; }
    template <class U> bool operator!=(const recycledBlocks<U>&) const { return false; }
};

typedef std::deque<frameRecord, recycledBlocks<frameRecord>> frameDeque;
