#include "output/pairing.h"

namespace {

// May `head` follow `last` in the paired order?
bool mayFollow(const frameRecord& last, const frameRecord& head) {
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
    while (!queueA.isEmpty() && !queueB.isEmpty()) {
        const frameRecord& a = queueA.frames().front();
        const frameRecord& b = queueB.frames().front();
        bool pickB;
        if (recordDayStart(a) != recordDayStart(b))
            pickB = recordDayStart(b) < recordDayStart(a);
        else
            pickB = recordLinePosition(b) < recordLinePosition(a);
        cameraQueue& picked = pickB ? queueB : queueA;
        const frameRecord& head = pickB ? b : a;
        if (paired.empty() || mayFollow(paired.back(), head)) {
            paired.push_back(head);
            stampRecord(&paired.back(), picked.role());
        }
        picked.popFront();
    }
    return paired.size() > before;
}
