#include "platform/serviceNotify.h"

#include "platform/stationClock.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

// The last status sent and the last keep-alive's second: sending the same again is noise.
QString g_lastStatus;
int64_t g_lastAlive = INT64_MIN;

// One datagram to the socket named in NOTIFY_SOCKET (a path, or "@" for an abstract name),
// never waiting: a service manager that does not read its socket fills it, and then a message
// is dropped rather than the loop held. (sd_notify() would wait for room, and a signal to end
// the process would wait with it.) The result only says whether it went; there is nothing to
// do without a listener.
void notify(const char* message) {
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (!name || (name[0] != '/' && name[0] != '@'))
        return;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const size_t length = std::strlen(name);
    if (length >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, name, length);
    if (name[0] == '@')
        address.sun_path[0] = '\0';
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + length);
    (void)sendto(fd, message, std::strlen(message), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address), size);
    close(fd);
}

} // namespace

void notifyReady() {
    notify("READY=1");
}

void notifyStopping() {
    notify("STOPPING=1");
}

void notifyStatus(const QString& text) {
    if (text == g_lastStatus)
        return;
    g_lastStatus = text;
    const QByteArray line = "STATUS=" + text.toUtf8();
    notify(line.constData());
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
    notify("WATCHDOG=1");
}
