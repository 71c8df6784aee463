// The measurement run loop: handshake with both cameras, parameter pushes with a new
// syncId, polling, pairing, datafiles, resync and reboot, heartbeat.
#pragma once

// Runs until a stop is requested; returns the exit status.
int runMeasurementLoop(bool calibration);
