// Notices a step of the wall clock: time synchronisation setting a wrong hardware clock right,
// an operator setting the date, a virtual machine resumed. The wall clock and the monotonic
// clock then disagree by more than slewing could ever make them. The station has one watch:
// the run loop looks through it every cycle, and the sync list stamps every synchronisation
// with the clock epoch it counts.
#pragma once

#include <cstdint>

// A step smaller than this is taken as the clock being slewed or the loop being slow.
const double CLOCK_STEP_LIMIT_S = 2.0;

// Wall clock minus monotonic clock now: constant while the wall clock only keeps pace.
double wallMinusMonotonic();

class clockStepWatch {
public:
    // Starts watching from the station clock's present readings.
    clockStepWatch();
    // Seconds the wall clock stepped since the last check (negative: back); 0 when it kept
    // pace with the monotonic clock within CLOCK_STEP_LIMIT_S. Each step is told once, and
    // starts a new epoch.
    double check();
    // Steps seen so far: times of two epochs are told by different clocks.
    uint32_t epoch() const { return m_epoch; }

private:
    double m_offset; // wall minus monotonic at the last check
    uint32_t m_epoch = 0;
};
