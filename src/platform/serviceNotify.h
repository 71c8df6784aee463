// Tells the service manager what the station does: ready once its configuration is read, a
// one-line status, keep-alives from the loop (a controller hung on a dead share stops sending
// them and is restarted), and stopping. Without a service manager (no notify socket in the
// environment) every call does nothing and costs next to nothing. No call ever waits: a
// message the socket has no room for is dropped.
#pragma once

#include <QString>

#include <cstdint>

void notifyReady();
void notifyStopping();
// The status line `systemctl status` shows; sent only when it changed.
void notifyStatus(const QString& text);
// A keep-alive for the service manager's watchdog, at most once a second of the monotonic
// clock; nothing when no watchdog is set.
void notifyAlive();
// The watchdog's period in microseconds, 0 when none is set for this process.
uint64_t watchdogPeriodUs();
