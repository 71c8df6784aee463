#include "platform/serviceNotify.h"

#include "platform/stationClock.h"

#include <climits>
#include <systemd/sd-daemon.h>

namespace {

// The last status sent and the last keep-alive's second: sending the same again is noise.
QString g_lastStatus;
int64_t g_lastAlive = INT64_MIN;

} // namespace

void notifyReady() {
    // The result only says whether a service manager listens; there is nothing to do without.
    (void)sd_notify(0, "READY=1");
}

void notifyStopping() {
    (void)sd_notify(0, "STOPPING=1");
}

void notifyStatus(const QString& text) {
    if (text == g_lastStatus)
        return;
    g_lastStatus = text;
    const QByteArray line = "STATUS=" + text.toUtf8();
    (void)sd_notify(0, line.constData());
}

uint64_t watchdogPeriodUs() {
    uint64_t usec = 0;
    return sd_watchdog_enabled(0, &usec) > 0 ? usec : 0;
}

void notifyAlive() {
    static const bool watched = watchdogPeriodUs() > 0;
    if (!watched)
        return;
    const int64_t second = monotonicSecond();
    if (second == g_lastAlive)
        return;
    g_lastAlive = second;
    (void)sd_notify(0, "WATCHDOG=1");
}
