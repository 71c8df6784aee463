// What a camera has delivered of each synchronisation: the end of the lines already read from
// its transfer files, whether their frames are still queued, paired or written. A camera's line
// counter only grows within one synchronisation, so a file that starts before that end repeats
// lines already taken: a file the camera delivered again under another name, say.
#pragma once

#include "output/frameRecord.h"

#include <algorithm>
#include <cstdint>
#include <vector>

class syncList;

class linesRead {
public:
    // True when `record` starts before the end of the lines read of its synchronisation.
    bool repeats(const frameRecord& record) const {
        const entry* e = find(record.sync.data());
        return e && record.header.lineCounter < e->end;
    }
    // The lines of `record` are read. Synchronisations that `syncs` no longer holds are
    // forgotten when a new one is first seen: no frame of theirs can be placed any more.
    void take(const frameRecord& record, const syncList& syncs) {
        // Nearly always of the synchronisation of the frame before: decided inline.
        if (m_last < m_entries.size() && record.sync &&
            m_entries[m_last].sync.data() == record.sync.data()) {
            uint64_t& end = m_entries[m_last].end;
            end = std::max(end, record.header.lineCounter + record.header.numLines);
            return;
        }
        takeOther(record, syncs);
    }
    // Synchronisations remembered (for the bound on memory).
    size_t size() const { return m_entries.size(); }

private:
    void takeOther(const frameRecord& record, const syncList& syncs);

    struct entry {
        syncPointPtr sync; // held, so that a new syncPoint can never take its address
        uint16_t syncId;
        uint64_t end;
    };
    // Nearly every frame is of the synchronisation of the one before it.
    const entry* find(const syncPoint* sync) const {
        if (m_last < m_entries.size() && m_entries[m_last].sync.data() == sync)
            return &m_entries[m_last];
        for (size_t i = 0; i < m_entries.size(); ++i)
            if (m_entries[i].sync.data() == sync) {
                m_last = i;
                return &m_entries[i];
            }
        return nullptr;
    }

    std::vector<entry> m_entries;
    mutable size_t m_last = 0;
};
