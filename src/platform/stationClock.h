// The station's one source of time and of waiting. The wall clock gives time stamps; every
// wait, poll and time-out runs on the monotonic clock, which no clock step moves. Production
// reads the system clocks; tests and benchmarks install a simulated clock so that hours of
// station time pass in milliseconds.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class stationClock {
public:
    virtual ~stationClock() = default;
    // Seconds since the epoch (UTC) with microseconds: time stamps, names, the sync time.
    virtual double now() = 0;
    // Seconds since an arbitrary start that only ever moves on with the time that passes.
    virtual double monotonic() = 0;
    virtual void sleepMs(int ms) = 0;
    // Waits for another thread: until `answered` holds or `ms` of this clock have passed;
    // true when answered. `answered` and `held` are looked at with `lock` held, and `wake` is
    // notified whenever either may have changed. The real clocks wait that long; a simulated
    // clock (below) lets the time pass at once when the other thread is `held`.
    virtual bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int ms,
                         const std::function<bool()>& answered, const std::function<bool()>& held);
};

// The system clock; its sleep ends early when a stop was requested.
stationClock& systemClock();

// Installs the clock every part of the station reads; nullptr restores the system clock.
void setStationClock(stationClock* clock);
stationClock& currentClock();

// Current time as seconds plus microseconds * 0.000001.
double nowWithMicroseconds();
// Whole seconds since the epoch.
int64_t currentSecond();
// Whole seconds of the monotonic clock: what the loops measure intervals with.
int64_t monotonicSecond();
// Sleeps `ms` on the current clock, doing the wait duty (below) when it falls due meanwhile;
// ends early when a stop was requested.
void sleepMs(int ms);

// A duty of the loop's thread that no wait may put off: when it falls due during a sleep or a
// wait for another thread (a call on a camera share whose server hangs), the wait breaks off
// there, the duty is done, and the wait goes on for the rest of its time. The run loops keep
// their health files fresh this way, however many share calls one cycle waits for.
class waitDuty {
public:
    virtual ~waitDuty() = default;
    // When the duty is next due, in seconds of the monotonic clock.
    virtual double due() = 0;
    // Done when due, or up to a millisecond before.
    virtual void perform() = 0;
};

// Installs `duty` for the lifetime of the guard, on the loop's thread, in place of any other:
// there is one run loop, and a test's next loop is made before its last one goes.
class scopedWaitDuty {
public:
    explicit scopedWaitDuty(waitDuty* duty);
    ~scopedWaitDuty();
    scopedWaitDuty(const scopedWaitDuty&) = delete;
    scopedWaitDuty& operator=(const scopedWaitDuty&) = delete;

private:
    waitDuty* m_duty;
};

// Waits on the current clock as stationClock::waitFor does, at most `ms`, doing the wait duty
// when it falls due meanwhile (with `lock` released); true when answered.
bool waitForAnswer(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int ms,
                   const std::function<bool()>& answered, const std::function<bool()>& held);

// A clock that only moves when told to, or when somebody sleeps on it.
class simulatedClock : public stationClock {
public:
    explicit simulatedClock(double start) : m_now(start) {}
    double now() override { return m_now; }
    double monotonic() override { return m_monotonic; }
    void sleepMs(int ms) override;
    // Waits in real time until the other thread has answered, or is held by the test (a call
    // on a share that hangs): then the whole of `ms` passes on this clock at once, so a stall
    // costs a test no real time and never depends on how busy the machine is.
    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int ms,
                 const std::function<bool()>& answered, const std::function<bool()>& held) override;
    // Time passes: both clocks move on.
    void advance(double seconds) {
        m_now += seconds;
        m_monotonic += seconds;
    }
    // Time passes up to `seconds` on the wall clock; a time before now is a step back of the
    // wall clock alone.
    void set(double seconds) {
        if (seconds > m_now)
            m_monotonic += seconds - m_now;
        m_now = seconds;
    }
    // The wall clock is set by `seconds` (either way) while no time passes, as time
    // synchronisation steps a clock.
    void step(double seconds) { m_now += seconds; }
    // Total milliseconds slept on this clock.
    int64_t sleptMs() const { return m_sleptMs; }

private:
    double m_now;
    double m_monotonic = 0.0;
    int64_t m_sleptMs = 0;
};

// Installs a clock for the lifetime of the guard and restores the previous one afterwards.
class scopedStationClock {
public:
    explicit scopedStationClock(stationClock* clock);
    ~scopedStationClock();
    scopedStationClock(const scopedStationClock&) = delete;
    scopedStationClock& operator=(const scopedStationClock&) = delete;

private:
    stationClock* m_previous;
};
