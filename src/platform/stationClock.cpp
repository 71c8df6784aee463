#include "platform/stationClock.h"

#include "platform/stopSignal.h"

#include <cerrno>
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

scopedStationClock::scopedStationClock(stationClock* clock) : m_previous(g_clock) {
    setStationClock(clock);
}

scopedStationClock::~scopedStationClock() {
    setStationClock(m_previous);
}
