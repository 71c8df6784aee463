#include "platform/stationClock.h"

#include "platform/stopSignal.h"

#include <cerrno>
#include <chrono>
#include <cmath>
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
waitDuty* g_duty = nullptr;

// One stretch of a wait of `left` ms: up to the moment the duty falls due (at most a
// millisecond before it) when that comes first (then true), else all of it. A duty that stays
// due after it was done is not done again in the same wait.
bool dutyFirst(stationClock& clock, bool* skip, int* left) {
    if (!g_duty || *skip)
        return false;
    const double until = (g_duty->due() - clock.monotonic()) * 1000.0;
    if (until >= double(*left))
        return false;
    *left = until <= 0.0 ? 0 : int(std::floor(until));
    return true;
}

void performDuty(stationClock& clock, bool* skip) {
    g_duty->perform();
    *skip = g_duty->due() <= clock.monotonic();
}

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
    stationClock& clock = currentClock();
    bool skip = false;
    while (ms > 0) {
        int stretch = ms;
        const bool duty = dutyFirst(clock, &skip, &stretch);
        clock.sleepMs(stretch);
        ms -= stretch;
        if (stopRequested())
            return;
        if (duty)
            performDuty(clock, &skip);
    }
}

bool waitForAnswer(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int ms,
                   const std::function<bool()>& answered, const std::function<bool()>& held) {
    stationClock& clock = currentClock();
    bool skip = false;
    for (;;) {
        int stretch = ms;
        const bool duty = dutyFirst(clock, &skip, &stretch);
        if (clock.waitFor(lock, wake, stretch, answered, held))
            return true;
        ms -= stretch;
        if (!duty)
            return false;
        lock.unlock();
        performDuty(clock, &skip);
        lock.lock();
    }
}

scopedWaitDuty::scopedWaitDuty(waitDuty* duty) : m_duty(duty) {
    g_duty = duty;
}

scopedWaitDuty::~scopedWaitDuty() {
    if (g_duty == m_duty)
        g_duty = nullptr;
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
