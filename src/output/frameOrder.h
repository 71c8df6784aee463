// The order of frames in time: the one rule that the camera queues (as transfer files are
// read), pairing of A and B and the datafile writer ask. A frame's place is the clock epoch of
// its synchronisation, the local day of that synchronisation and its line position. Times told
// by two wall clocks (before and after a step) are never compared: a later epoch follows.
#pragma once

#include "output/frameRecord.h"

// Why a record may follow another in one camera's line stream, or may not.
enum class followVerdict {
    inOrder,      // same clock, same or earlier day: it starts where `previous` ends or later
    nextDay,      // same clock, its synchronisation's local day is later: it follows whatever
                  // its line position (the line positions count from another midnight)
    laterClock,   // its synchronisation was made after a step of the wall clock: it follows
                  // whatever its time
    overlaps,     // same clock: it starts before `previous` ends
    earlierClock, // its synchronisation is told by a clock the station has left: never
};

// Both records' synchronisations are told by one wall clock (no step between them).
inline bool sameClock(const frameRecord& a, const frameRecord& b) {
    return recordClockEpoch(a) == recordClockEpoch(b);
}

// The case of nearly every pair of records that the rules below are asked about: two of one
// synchronisation, so of one clock and one day. The reader and pairing ask for every frame, so
// each rule decides this case inline; its "AcrossSyncs" part, out of line, decides the rest and
// is asked only for records that are not of one synchronisation.
inline bool oneSynchronisation(const frameRecord& previous, const frameRecord& next) {
    return previous.sync && previous.sync == next.sync && recordValid(previous) &&
           recordValid(next);
}

// Of one synchronisation, ordered by their line counters: their line positions are each
// rounded on their own and may come out a line short, which would refuse a frame that follows
// its predecessor without a gap (a frame that starts exactly where the previous one ends is in
// order).
inline bool lineCounterBeforeEndOf(const frameRecord& previous, const frameRecord& next) {
    const uint64_t end = previous.header.lineCounter;
    const uint64_t start = next.header.lineCounter;
    return start < end || start - end < uint64_t(previous.header.numLines);
}

// Whether record `next` may follow record `previous` in one camera's line stream, and why.
followVerdict recordMayFollowAcrossSyncs(const frameRecord& previous, const frameRecord& next);
inline followVerdict recordMayFollow(const frameRecord& previous, const frameRecord& next) {
    if (oneSynchronisation(previous, next))
        return lineCounterBeforeEndOf(previous, next) ? followVerdict::overlaps
                                                      : followVerdict::inOrder;
    return recordMayFollowAcrossSyncs(previous, next);
}

inline bool follows(followVerdict verdict) {
    return verdict == followVerdict::inOrder || verdict == followVerdict::nextDay ||
           verdict == followVerdict::laterClock;
}

// The synchronisation of `current` was made after that of `previous`, on the same clock: a
// camera resynchronised in between and started its line stream afresh.
bool newerSynchronisation(const frameRecord& previous, const frameRecord& current);

// Pairing takes the head of camera B before the head of camera A: earlier clock, then earlier
// sync day, then smaller line position (camera A first on a tie).
bool goesBeforeAcrossSyncs(const frameRecord& b, const frameRecord& a);
inline bool goesBefore(const frameRecord& b, const frameRecord& a) {
    if (oneSynchronisation(a, b))
        return b.linePosition < a.linePosition;
    return goesBeforeAcrossSyncs(b, a);
}

// Pairing may append `head` behind `last`: always within one synchronisation and day, and
// after a change of synchronisation only from the interval on that follows `last`'s.
bool mayPairAfterAcrossSyncs(const frameRecord& last, const frameRecord& head);
inline bool mayPairAfter(const frameRecord& last, const frameRecord& head) {
    return oneSynchronisation(last, head) || mayPairAfterAcrossSyncs(last, head);
}

// The writer's intervals: the same start on the same clock is one datafile; an interval on a
// later clock comes after every interval of an earlier one.
inline bool sameInterval(const frameRecord& a, const frameRecord& b) {
    return a.intervalStart == b.intervalStart && sameClock(a, b);
}
bool laterInterval(const frameRecord& first, const frameRecord& later);
