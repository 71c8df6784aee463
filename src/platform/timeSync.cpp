#include "platform/timeSync.h"

#include <sys/timex.h>

timeSyncState timeSyncFromKernel(int result, int status, long estimatedErrorUs,
                                 long maximumErrorUs) {
    timeSyncState s;
    if (result == -1)
        return s;
    s.known = true;
    // The kernel answers TIME_ERROR while the clock is unsynchronised; the status bit says
    // the same and is checked too, as not every kernel sets both at once.
    s.synchronised = result != TIME_ERROR && (status & STA_UNSYNC) == 0;
    s.estimatedError = double(estimatedErrorUs) * 1e-6;
    s.maximumError = double(maximumErrorUs) * 1e-6;
    return s;
}

timeSyncState readTimeSync() {
    struct timex t = {};
    t.modes = 0; // read only
    const int result = adjtimex(&t);
    return timeSyncFromKernel(result, t.status, t.esterror, t.maxerror);
}
