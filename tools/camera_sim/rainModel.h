// Synthetic rain: the drops that fall through the measuring volume, as a function of time
// alone. Every second of the clock gets its own drops from the seed, so camera A and camera B
// (and a restarted camera) see the same rain without talking to each other.
#pragma once

#include <cstdint>
#include <vector>

// Drops per second of the named intensities.
const double RAIN_LIGHT = 3.0;
const double RAIN_HEAVY = 3000.0;

struct rainDrop {
    double time;     // seconds since the epoch at which it reaches the upper light plane
    double position; // across the capture window, 0 (left edge) to 1 (right edge)
    double diameter; // mm
};

class rainModel {
public:
    // `dropsPerSecond` 0 is dry weather.
    rainModel(uint64_t seed, double dropsPerSecond);

    // The drops with `from` <= time < `to`, in time order.
    std::vector<rainDrop> dropsBetween(double from, double to) const;

    double dropsPerSecond() const { return m_dropsPerSecond; }

private:
    void dropsOfSecond(int64_t second, std::vector<rainDrop>* drops) const;

    uint64_t m_seed;
    double m_dropsPerSecond;
};

// Terminal fall speed in m/s of a drop of `diameter` mm.
double fallSpeed(double diameter);

// Smallest and largest drop diameters the model makes, mm.
const double DROP_MIN_DIAMETER = 0.3;
const double DROP_MAX_DIAMETER = 8.0;
