// Notices a step of the wall clock: time synchronisation setting a wrong hardware clock right,
// an operator setting the date, a virtual machine resumed. The wall clock and the monotonic
// clock then disagree by more than slewing could ever make them.
#pragma once

// A step smaller than this is taken as the clock being slewed or the loop being slow.
const double CLOCK_STEP_LIMIT_S = 2.0;

// Wall clock minus monotonic clock now: constant while the wall clock only keeps pace.
double wallMinusMonotonic();

class clockStepWatch {
public:
    // Starts watching from the station clock's present readings.
    clockStepWatch();
    // Seconds the wall clock stepped since the last check (negative: back); 0 when it kept
    // pace with the monotonic clock within CLOCK_STEP_LIMIT_S. Each step is told once.
    double check();

private:
    double m_offset; // wall minus monotonic at the last check
};
