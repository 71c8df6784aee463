#include "output/linesRead.h"

#include "sync/syncList.h"

#include <algorithm>

void linesRead::takeOther(const frameRecord& record, const syncList& syncs) {
    if (!record.sync)
        return;
    const uint64_t end = record.header.lineCounter + record.header.numLines;
    const entry* known = find(record.sync.data());
    if (known) {
        entry& e = m_entries[size_t(known - m_entries.data())];
        e.end = std::max(e.end, end);
        return;
    }
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const entry& e) { return syncs.find(e.syncId) != e.sync; }),
                    m_entries.end());
    m_entries.push_back({record.sync, record.header.syncId, end});
    m_last = m_entries.size() - 1;
}
