// The station's one source of time and of waiting. Production reads the system clock;
// tests and benchmarks install a simulated clock so that hours of station time pass in
// milliseconds.
#pragma once

#include <cstdint>

class stationClock {
public:
    virtual ~stationClock() = default;
    // Seconds since the epoch (UTC) with microseconds.
    virtual double now() = 0;
    virtual void sleepMs(int ms) = 0;
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
void sleepMs(int ms);

// A clock that only moves when told to, or when somebody sleeps on it.
class simulatedClock : public stationClock {
public:
    explicit simulatedClock(double start) : m_now(start) {}
    double now() override { return m_now; }
    void sleepMs(int ms) override;
    void advance(double seconds) { m_now += seconds; }
    void set(double seconds) { m_now = seconds; }
    // Total milliseconds slept on this clock.
    int64_t sleptMs() const { return m_sleptMs; }

private:
    double m_now;
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
