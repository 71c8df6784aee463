// The heartbeat file "./check_kiv.txt": the current time in seconds, written through
// "./check_kiv.txt.part" and renamed without replacing, so that an outside watcher sees the
// station alive once it has taken the previous file away.
#pragma once

#include <cstdint>

// The last heartbeat of a loop that has written none yet.
const int64_t NO_HEARTBEAT = INT64_MIN;

// A loop's heartbeat: when it was last written, and what has been told of it. A heartbeat that
// cannot be written is told once, and once more when it is written again; something that is no
// file of the station's own under either name is told once.
struct heartbeat {
    int64_t last = NO_HEARTBEAT;         // monotonic second of the last try
    int64_t failingSince = NO_HEARTBEAT; // monotonic second of the first failure told
    bool strangerTold = false;           // what stands under ./check_kiv.txt was told

    // Writes the heartbeat now (whatever the last one was).
    void write();
    // Writes the heartbeat when `tick` (a second of the monotonic clock) is later than the last,
    // and notes it: at most one heartbeat per second, whatever the wall clock does.
    void step(int64_t tick);
};
