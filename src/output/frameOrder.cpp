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

followVerdict recordMayFollowAcrossSyncs(const frameRecord& previous, const frameRecord& next) {
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

bool goesBeforeAcrossSyncs(const frameRecord& b, const frameRecord& a) {
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

bool mayPairAfterAcrossSyncs(const frameRecord& last, const frameRecord& head) {
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

bool laterInterval(const frameRecord& first, const frameRecord& later) {
    const uint32_t epochFirst = recordClockEpoch(first);
    const uint32_t epochLater = recordClockEpoch(later);
    if (epochFirst != epochLater)
        return epochLater > epochFirst;
    return later.intervalStart > first.intervalStart;
}
