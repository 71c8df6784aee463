// The kernel's view of the wall clock's synchronisation, as time synchronisation (an NTP or
// PTP daemon) keeps it: whether the clock is synchronised and how far off it may be. Time
// stamps in datafiles and the sync second are only as good as this.
#pragma once

struct timeSyncState {
    bool known = false;          // the kernel answered
    bool synchronised = false;   // a time-synchronisation daemon keeps the clock in step
    double estimatedError = 0.0; // seconds the clock is likely off
    double maximumError = 0.0;   // seconds it may be off at most
};

// Reads the state without changing anything (no privileges needed).
timeSyncState readTimeSync();

// The state from the kernel's answer: `result` of the call (-1: failed, 5: clock
// unsynchronised), its status bits and its error figures in microseconds.
timeSyncState timeSyncFromKernel(int result, int status, long estimatedErrorUs,
                                 long maximumErrorUs);
