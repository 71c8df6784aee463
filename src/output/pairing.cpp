#include "output/pairing.h"

namespace {

// May `head` follow `last` in the paired order?
bool mayFollow(const frameRecord& last, const frameRecord& head) {
    // Times told by two clocks cannot be compared: after a step of the wall clock the new
    // synchronisation starts a fresh order, and a late frame of the old clock has no place.
    const uint32_t lastEpoch = recordClockEpoch(last);
    const uint32_t headEpoch = recordClockEpoch(head);
    if (lastEpoch != headEpoch)
        return headEpoch > lastEpoch;
    if (recordSyncId(last) == recordSyncId(head) && recordDayStart(last) == recordDayStart(head))
        return true;
    // After a change of synchronisation a frame must not start in an interval before the
    // end of the last paired one.
    return recordIntervalEnd(last) <= recordIntervalStart(head);
}

} // namespace

bool pairFrames(pairedQueue& paired, cameraQueue& queueA, cameraQueue& queueB) {
    uint32_t roleA = queueA.role();
    uint32_t roleB = queueB.role();
    if (roleA == roleB || roleA == 0 || roleB == 0)
        return false;
    size_t before = paired.size();
    std::deque<frameRecord>& framesA = queueA.frames();
    std::deque<frameRecord>& framesB = queueB.frames();
    while (!framesA.empty() && !framesB.empty()) {
        frameRecord& a = framesA.front();
        frameRecord& b = framesB.front();
        int32_t dayA = recordDayStart(a);
        int32_t dayB = recordDayStart(b);
        const uint32_t epochA = recordClockEpoch(a);
        const uint32_t epochB = recordClockEpoch(b);
        bool pickB;
        if (epochA != epochB)
            pickB = epochB < epochA;
        else if (dayA != dayB)
            pickB = dayB < dayA;
        else
            pickB = recordLinePosition(b) < recordLinePosition(a);
        std::deque<frameRecord>& picked = pickB ? framesB : framesA;
        frameRecord& head = picked.front();
        if (paired.empty() || mayFollow(paired.back(), head)) {
            // The head leaves its queue in the next step: its shared parts move along instead
            // of being counted up and down again.
            paired.push_back(std::move(head));
            stampRecord(&paired.back(), pickB ? roleB : roleA);
        }
        picked.pop_front();
    }
    return paired.size() > before;
}
