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
    // Following the offset at every check also follows a clock that is slewed slowly.
    m_offset = offset;
    return std::fabs(step) > CLOCK_STEP_LIMIT_S ? step : 0.0;
}
