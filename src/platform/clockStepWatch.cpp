#include "platform/clockStepWatch.h"

#include "platform/stationClock.h"

#include <cmath>

double wallMinusMonotonic() {
    stationClock& clock = currentClock();
    return clock.now() - clock.monotonic();
}

clockStepWatch::clockStepWatch() : m_offset(wallMinusMonotonic()) {}

double clockStepWatch::check() {
    const double offset = wallMinusMonotonic();
    const double step = offset - m_offset;
    // Following the offset at every check also follows a clock that is slewed slowly: checks
    // come seconds apart, in which slewing moves the clock by milliseconds.
    m_offset = offset;
    if (std::fabs(step) <= CLOCK_STEP_LIMIT_S)
        return 0.0;
    ++m_epoch;
    return step;
}
