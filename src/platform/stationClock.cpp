#include "platform/stationClock.h"

#include "platform/stopSignal.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <sys/time.h>

namespace {

class systemClockImpl : public stationClock {
public:
    double now() override {
        struct timeval tv;
        gettimeofday(&tv, nullptr);
        return double(tv.tv_sec) + double(tv.tv_usec) * 0.000001;
    }
    double monotonic() override {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
    void sleepMs(int ms) override {
        if (ms <= 0)
            return;
        struct timespec left = {ms / 1000, long(ms % 1000) * 1000000L};
        // A signal interrupts the sleep; go on sleeping unless it asked the station to stop.
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
            if (stopRequested())
                return;
        }
    }
};

stationClock* g_clock = nullptr;

} // namespace

stationClock& systemClock() {
    static systemClockImpl clock;
    return clock;
}

void setStationClock(stationClock* clock) {
    g_clock = clock;
}

stationClock& currentClock() {
    return g_clock ? *g_clock : systemClock();
}

double nowWithMicroseconds() {
    return currentClock().now();
}

int64_t currentSecond() {
    double t = currentClock().now();
    int64_t s = int64_t(t);
    return (double(s) > t) ? s - 1 : s;
}

int64_t monotonicSecond() {
    double t = currentClock().monotonic();
    int64_t s = int64_t(t);
    return (double(s) > t) ? s - 1 : s;
}

void sleepMs(int ms) {
    currentClock().sleepMs(ms);
}

void simulatedClock::sleepMs(int ms) {
    if (ms <= 0)
        return;
    m_now += ms / 1000.0;
    m_monotonic += ms / 1000.0;
    m_sleptMs += ms;
}

bool stationClock::waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                           int ms, const std::function<bool()>& answered,
                           const std::function<bool()>& held) {
    (void)held; // a real call is never held: only the bound ends the wait
    return wake.wait_for(lock, std::chrono::milliseconds(ms), answered);
}

bool simulatedClock::waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                             int ms, const std::function<bool()>& answered,
                             const std::function<bool()>& held) {
    // A call that neither answers nor is held within a minute of real time hangs in earnest
    // (a test on a real share): it is given up as a held one is.
    wake.wait_for(lock, std::chrono::seconds(60), [&] { return answered() || held(); });
    if (answered())
        return true;
    sleepMs(ms);
    return false;
}

scopedStationClock::scopedStationClock(stationClock* clock) : m_previous(g_clock) {
    setStationClock(clock);
}

scopedStationClock::~scopedStationClock() {
    setStationClock(m_previous);
}
