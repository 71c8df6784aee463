#include "output/pairing.h"

#include "output/frameOrder.h"

bool pairFrames(pairedQueue& paired, cameraQueue& queueA, cameraQueue& queueB) {
    uint32_t roleA = queueA.role();
    uint32_t roleB = queueB.role();
    if (roleA == roleB || roleA == 0 || roleB == 0)
        return false;
    size_t before = paired.size();
    frameDeque& framesA = queueA.frames();
    frameDeque& framesB = queueB.frames();
    while (!framesA.empty() && !framesB.empty()) {
        const bool pickB = goesBefore(framesB.front(), framesA.front());
        frameDeque& picked = pickB ? framesB : framesA;
        frameRecord& head = picked.front();
        if (paired.empty() || mayPairAfter(paired.back(), head)) {
            // The head leaves its queue in the next step: its shared parts move along instead
            // of being counted up and down again.
            paired.push_back(std::move(head));
            stampRecord(&paired.back(), pickB ? roleB : roleA);
        }
        picked.pop_front();
    }
    return paired.size() > before;
}

namespace {

// The partner of `head` can no longer come: its synchronisation ended (the camera delivered
// frames of another since), and that long enough ago.
bool partnerGone(const frameRecord& head, const frameRecord& newest) {
    return head.sync != newest.sync &&
           int64_t(recordIntervalStart(newest)) - recordIntervalEnd(head) >= PARTNER_WAIT_S;
}

} // namespace

bool pairPartnerless(pairedQueue& paired, cameraQueue& queue, const cameraQueue& other,
                     bool* bounded) {
    *bounded = false;
    const uint32_t role = queue.role();
    if (!other.frames().empty() || role == other.role() || role == 0)
        return false;
    size_t before = paired.size();
    frameDeque& frames = queue.frames();
    while (!frames.empty()) {
        const bool overBound = frames.size() > MAX_PARTNERLESS;
        if (!overBound && !partnerGone(frames.front(), frames.back()))
            break;
        *bounded = *bounded || overBound;
        frameRecord& head = frames.front();
        if (paired.empty() || mayPairAfter(paired.back(), head)) {
            paired.push_back(std::move(head));
            stampRecord(&paired.back(), role);
        }
        frames.pop_front();
    }
    return paired.size() > before;
}
