// The heartbeat file "./check_kiv.txt": the current time in seconds, written through
// "./check_kiv.txt.part" and renamed without replacing, so that an outside watcher sees the
// station alive once it has taken the previous file away.
#pragma once

#include <cstdint>

// Writes the heartbeat now (whatever the last one was). Failures are silent.
void writeHeartbeat();

// Writes the heartbeat when `cycleSecond` is later than `*lastHeartbeat`, and notes it: at most
// one heartbeat per second.
void heartbeatStep(int64_t cycleSecond, int64_t* lastHeartbeat);
