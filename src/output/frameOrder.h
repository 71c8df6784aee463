// The order of frames in time: the one rule that the camera queues (as transfer files are
// read), pairing of A and B and the datafile writer ask. A frame's place is the clock epoch of
// its synchronisation, the local day of that synchronisation and its line position. Times told
// by two wall clocks (before and after a step) are never compared: a later epoch follows.
#pragma once

#include "output/frameRecord.h"

// Whether record `next` may follow record `previous` in one camera's line stream, and why.
enum class followVerdict {
    inOrder,      // same clock, same or earlier day: it starts where `previous` ends or later
    nextDay,      // same clock, its synchronisation's local day is later: it follows whatever
                  // its line position (the line positions count from another midnight)
    laterClock,   // its synchronisation was made after a step of the wall clock: it follows
                  // whatever its time
    overlaps,     // same clock: it starts before `previous` ends
    earlierClock, // its synchronisation is told by a clock the station has left: never
};

followVerdict recordMayFollow(const frameRecord& previous, const frameRecord& next);

inline bool follows(followVerdict verdict) {
    return verdict == followVerdict::inOrder || verdict == followVerdict::nextDay ||
           verdict == followVerdict::laterClock;
}

// The synchronisation of `current` was made after that of `previous`, on the same clock: a
// camera resynchronised in between and started its line stream afresh.
bool newerSynchronisation(const frameRecord& previous, const frameRecord& current);

// Pairing takes the head of camera B before the head of camera A: earlier clock, then earlier
// sync day, then smaller line position (camera A first on a tie).
bool goesBefore(const frameRecord& b, const frameRecord& a);

// Pairing may append `head` behind `last`: always within one synchronisation and day, and
// after a change of synchronisation only from the interval on that follows `last`'s.
bool mayPairAfter(const frameRecord& last, const frameRecord& head);

// The writer's intervals: the same start on the same clock is one datafile; an interval on a
// later clock comes after every interval of an earlier one.
bool sameInterval(const frameRecord& a, const frameRecord& b);
bool laterInterval(const frameRecord& first, const frameRecord& later);
