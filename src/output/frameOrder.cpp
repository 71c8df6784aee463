#include "output/frameOrder.h"

namespace {

// Where the clock and the local day of b's synchronisation stand against a's. The clock comes
// first: a day or a time of another clock says nothing.
enum class standing { earlierClock, earlierDay, sameDay, laterDay, laterClock };

standing standingOf(const frameRecord& a, const frameRecord& b) {
    const uint32_t epochA = recordClockEpoch(a);
    const uint32_t epochB = recordClockEpoch(b);
    if (epochA != epochB)
        return epochB > epochA ? standing::laterClock : standing::earlierClock;
    const int32_t dayA = recordDayStart(a);
    const int32_t dayB = recordDayStart(b);
    if (dayA != dayB)
        return dayB > dayA ? standing::laterDay : standing::earlierDay;
    return standing::sameDay;
}

bool sameClock(const frameRecord& a, const frameRecord& b) {
    return recordClockEpoch(a) == recordClockEpoch(b);
}

// Two records of one synchronisation, ordered by their line counters: their line positions are
// each rounded on their own and may come out a line short, which would refuse a frame that
// follows its predecessor without a gap (a frame that starts exactly where the previous one
// ends is in order).
bool oneSynchronisation(const frameRecord& previous, const frameRecord& next) {
    return previous.sync && previous.sync == next.sync && recordValid(previous) &&
           recordValid(next);
}

bool lineCounterBeforeEndOf(const frameRecord& previous, const frameRecord& next) {
    const uint64_t end = previous.header.lineCounter;
    const uint64_t start = next.header.lineCounter;
    return start < end || start - end < uint64_t(previous.header.numLines);
}

// True when `next`, of another synchronisation on the same clock and of the same or an earlier
// day, starts before `previous` ends. A record of an earlier day counts its line positions from
// an earlier midnight: they are moved to `previous`'s midnight first.
bool positionBeforeEndOf(const frameRecord& previous, const frameRecord& next) {
    double start = recordLinePosition(next);
    const int32_t days = recordDayStart(previous) - recordDayStart(next);
    if (days > 0)
        start -= double(days) *
                 (next.sync ? next.sync->lineFrequency() : syncPoint::DEFAULT_LINE_FREQUENCY);
    return recordEndPosition(previous) > start;
}

} // namespace

followVerdict recordMayFollow(const frameRecord& previous, const frameRecord& next) {
    // Nearly always the frame before is of the same synchronisation: one clock, one day.
    if (oneSynchronisation(previous, next))
        return lineCounterBeforeEndOf(previous, next) ? followVerdict::overlaps
                                                      : followVerdict::inOrder;
    switch (standingOf(previous, next)) {
    case standing::laterClock:
        return followVerdict::laterClock;
    case standing::earlierClock:
        return followVerdict::earlierClock;
    case standing::laterDay:
        return followVerdict::nextDay;
    case standing::earlierDay:
    case standing::sameDay:
        break;
    }
    return positionBeforeEndOf(previous, next) ? followVerdict::overlaps : followVerdict::inOrder;
}

bool newerSynchronisation(const frameRecord& previous, const frameRecord& current) {
    return previous.sync && current.sync && previous.sync != current.sync &&
           sameClock(previous, current) && current.sync->syncTime() > previous.sync->syncTime();
}

bool goesBefore(const frameRecord& b, const frameRecord& a) {
    // Both heads of one synchronisation, as nearly always: one clock, one day.
    if (oneSynchronisation(a, b))
        return b.linePosition < a.linePosition;
    switch (standingOf(a, b)) {
    case standing::earlierClock:
    case standing::earlierDay:
        return true;
    case standing::laterClock:
    case standing::laterDay:
        return false;
    case standing::sameDay:
        break;
    }
    return recordLinePosition(b) < recordLinePosition(a);
}

bool mayPairAfter(const frameRecord& last, const frameRecord& head) {
    if (oneSynchronisation(last, head))
        return true;
    switch (standingOf(last, head)) {
    case standing::laterClock:
        // A frame of the new clock follows whatever its time.
        return true;
    case standing::earlierClock:
        // A late frame of the old clock has no place.
        return false;
    case standing::sameDay:
        if (recordSyncId(last) == recordSyncId(head))
            return true;
        break;
    case standing::earlierDay:
    case standing::laterDay:
        break;
    }
    // After a change of synchronisation a frame must not start in an interval before the end
    // of the last paired one.
    return recordIntervalEnd(last) <= recordIntervalStart(head);
}

bool sameInterval(const frameRecord& a, const frameRecord& b) {
    return a.intervalStart == b.intervalStart && sameClock(a, b);
}

bool laterInterval(const frameRecord& first, const frameRecord& later) {
    const uint32_t epochFirst = recordClockEpoch(first);
    const uint32_t epochLater = recordClockEpoch(later);
    if (epochFirst != epochLater)
        return epochLater > epochFirst;
    return later.intervalStart > first.intervalStart;
}
