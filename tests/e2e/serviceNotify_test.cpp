// The station under a service manager: a small listener of the notify protocol (a datagram
// socket named in NOTIFY_SOCKET) stands in for it and collects what the controller says.
#include "support/e2eStation.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>

#include <cstring>
#include <iostream>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class notifyListener {
public:
    explicit notifyListener(const QString& path) {
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_bound =
            m_fd >= 0 && bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~notifyListener() {
        if (m_fd >= 0)
            close(m_fd);
    }
    bool bound() const { return m_bound; }
    // Every message that arrives within `ms`, split into its lines.
    void receive(int ms) {
        pollfd p = {m_fd, POLLIN, 0};
        while (poll(&p, 1, ms) > 0) {
            char buffer[4096];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            for (const QByteArray& line : QByteArray(buffer, int(n)).split('\n'))
                if (!line.isEmpty())
                    m_lines.append(line);
            ms = 0;
        }
    }
    int count(const QByteArray& prefix) const {
        int n = 0;
        for (const QByteArray& line : m_lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }
    const QList<QByteArray>& lines() const { return m_lines; }

private:
    int m_fd = -1;
    bool m_bound = false;
    QList<QByteArray> m_lines;
};

// Sets an environment variable of this process (the station inherits it) for a scope.
struct scopedEnv {
    scopedEnv(const char* name, const QByteArray& value) : m_name(name) { qputenv(name, value); }
    ~scopedEnv() { qunsetenv(m_name); }
    const char* m_name;
};

// A station whose service manager is `manager`, with a watchdog of 2 s, and its cameras.
struct managedStation : ::testing::Test {
    managedStation()
        : manager(station.path("notify.sock")),
          socketName("NOTIFY_SOCKET", station.path("notify.sock").toLocal8Bit()),
          watchdog("WATCHDOG_USEC", "2000000") {}
    void SetUp() override {
        ASSERT_TRUE(manager.bound());
        station.startCameras();
        station.startStation();
    }
    e2eStation station;
    notifyListener manager;
    scopedEnv socketName;
    scopedEnv watchdog;
};

} // namespace

// A configuration the station cannot work with is loud: READY once the start-up checks ran,
// then a status line naming the missing directory for as long as it is missing, the metric
// that the alert rule fires on, and the start and stop lines in the log.
TEST(serviceNotify, aMissingDirectoryIsNamedUntilItComes) {
    e2eStation station;
    QDir(station.path("log")).removeRecursively();
    notifyListener manager(station.path("notify.sock"));
    ASSERT_TRUE(manager.bound());
    scopedEnv socketName("NOTIFY_SOCKET", station.path("notify.sock").toLocal8Bit());
    station.startStation();
    QByteArray waiting;
    for (int i = 0; i < 100 && waiting.isEmpty(); ++i) {
        manager.receive(100);
        for (const QByteArray& line : manager.lines())
            if (line.startsWith("STATUS=waiting: 1 directory missing: log_dir "))
                waiting = line;
    }
    ASSERT_FALSE(waiting.isEmpty()) << manager.lines().join('\n').toStdString();
    EXPECT_EQ(manager.lines().first(), "READY=1");
    EXPECT_TRUE(station.waitFor(
        [&] {
            return tempStationRead(station.path("acquire_kiv.prom"))
                .contains("\nacquire_kiv_configuration_usable 0\n");
        },
        5));
    // The directory in force comes: within the next look the station waits for its cameras.
    const QString missing = QString::fromLocal8Bit(waiting.mid(waiting.indexOf(" log_dir ") + 9));
    ASSERT_TRUE(QDir().mkpath(missing)) << missing.toStdString();
    bool handshake = false;
    for (int i = 0; i < 150 && !handshake; ++i) {
        manager.receive(100);
        handshake = manager.count("STATUS=handshake: waiting for cameras (A connected") > 0;
    }
    EXPECT_TRUE(handshake) << manager.lines().join('\n').toStdString();
    EXPECT_EQ(station.stopStation(), 0);
    const QStringList messages = station.messages();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.first().startsWith("info : starting acquire_kiv "))
        << messages.first().toStdString();
    EXPECT_TRUE(messages.contains("info : log directory " + missing + " exists now"));
    EXPECT_TRUE(messages.last().startsWith("info : stopped acquire_kiv "))
        << messages.last().toStdString();
}

// After a power cut the station computer is up before camera A's: A's share (its mount point)
// is empty when the station starts. The service is ready and beats within 10 s all the same,
// and once the share is mounted the station measures with A's configured directories within
// 30 s, having told camera A away once and back once.
TEST(serviceNotify, aCameraShareAwayAtTheStartJoinsOnceMounted) {
    e2eStation station;
    // Camera A's computer writes on its own disk; the station reaches it through cam_a, the
    // mount point, which the "mount" makes a link to that disk.
    ASSERT_TRUE(QDir(station.path()).rename("cam_a", "disk_a"));
    station.useCameraFolders(station.path("disk_a"), station.path("cam_b"));
    notifyListener manager(station.path("notify.sock"));
    ASSERT_TRUE(manager.bound());
    scopedEnv socketName("NOTIFY_SOCKET", station.path("notify.sock").toLocal8Bit());
    QElapsedTimer clock;
    clock.start();
    station.startCameras();
    station.startStation();
    while (manager.count("READY=1") == 0 && clock.elapsed() < 10000)
        manager.receive(100);
    EXPECT_EQ(manager.count("READY=1"), 1) << "ready within 10 s";
    const qint64 ready = clock.elapsed();
    EXPECT_TRUE(station.waitFor([&] { return QFile::exists(station.path("check_kiv.txt")); },
                                10 - clock.elapsed() / 1000.0))
        << "a heartbeat within 10 s";
    const qint64 beat = clock.elapsed();
    QThread::sleep(3);
    ASSERT_TRUE(QFile::link(station.path("disk_a"), station.path("cam_a")));
    const qint64 mounted = clock.elapsed();
    EXPECT_TRUE(station.waitFor([&] { return station.hasWrittenFramesOf('A'); }, 30))
        << station.messages().join('\n').toStdString();
    std::cout << "ready after " << ready << " ms, heartbeat after " << beat
              << " ms, camera A's frames in a datafile " << clock.elapsed() - mounted
              << " ms after its share came\n";
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();
    const QStringList messages = station.messages();
    EXPECT_EQ(messages
                  .filter(QRegularExpression("^warning : camera A control directory .*/cam_a/"
                                             "control not reachable$"))
                  .size(),
              1)
        << messages.join('\n').toStdString();
    EXPECT_EQ(messages.filter(QRegularExpression("^info : camera A .*again")).size(), 1);
    EXPECT_TRUE(messages.filter(QRegularExpression("^(error|pProcessConfFile)")).isEmpty())
        << messages.join('\n').toStdString();
    EXPECT_TRUE(station.onlySentFramesOnce());
}

TEST_F(managedStation, readyStatusAndKeepAlivesReachTheServiceManager) {
    for (int i = 0;
         i < 300 && !(manager.count("STATUS=measuring") > 0 && manager.count("WATCHDOG=1") >= 3);
         ++i)
        manager.receive(100);
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();
    manager.receive(500);
    const QList<QByteArray>& lines = manager.lines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "READY=1") << "ready before anything else";
    EXPECT_EQ(manager.count("READY=1"), 1);
    EXPECT_GE(manager.count("STATUS=handshake: waiting for cameras"), 1);
    EXPECT_GE(manager.count("STATUS=measuring, syncId "), 1);
    EXPECT_GE(manager.count("WATCHDOG=1"), 3) << "keep-alives while it runs";
    EXPECT_EQ(lines.last(), "STOPPING=1");
}

// A service manager that never reads its socket fills it within seconds: from then on status
// lines are dropped, the loop goes on measuring and a stop request ends it at once.
TEST_F(managedStation, aSocketNobodyReadsHoldsNothing) {
    EXPECT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 4; }, 45))
        << station.messages().join("\n").toStdString();
    QElapsedTimer stopping;
    stopping.start();
    EXPECT_EQ(station.stopStation(), 0);
    EXPECT_LT(stopping.elapsed(), 5000);
    station.stopCameras();
    manager.receive(100);
    EXPECT_GT(manager.lines().size(), 5) << "the socket was filled";
}
