// The heartbeat file "./check_kiv.txt": the current time in seconds, written through
// "./check_kiv.txt.part" and renamed without replacing, so that an outside watcher sees the
// station alive once it has taken the previous file away.
#pragma once

#include <cstdint>

// Writes the heartbeat now (whatever the last one was). Failures are silent.
void writeHeartbeat();

// Writes the heartbeat when `tick` (a second of the monotonic clock) is later than
// `*lastHeartbeat`, and notes it: at most one heartbeat per second, whatever the wall clock does.
void heartbeatStep(int64_t tick, int64_t* lastHeartbeat);
// The last heartbeat of a loop that has written none yet.
const int64_t NO_HEARTBEAT = INT64_MIN;
