#include "rainModel.h"

#include <cmath>
#include <random>

namespace {

// Mixes the seed and the second into the state of that second's generator, so that
// neighbouring seconds and neighbouring seeds give unrelated drops.
uint64_t mixSeed(uint64_t seed, int64_t second) {
    uint64_t z = seed * 0x9E3779B97F4A7C15ULL + uint64_t(second);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Uniform in (0, 1]: never 0, so that its logarithm is finite.
double unitOpen(std::mt19937_64& random) {
    return (double(random() >> 11) + 1.0) / 9007199254740992.0;
}

// Mean of the exponential part of the drop size distribution, mm: most drops are small.
const double MEAN_EXTRA_DIAMETER = 0.9;

} // namespace

rainModel::rainModel(uint64_t seed, double dropsPerSecond)
    : m_seed(seed), m_dropsPerSecond(dropsPerSecond > 0.0 ? dropsPerSecond : 0.0) {}

void rainModel::dropsOfSecond(int64_t second, std::vector<rainDrop>* drops) const {
    if (m_dropsPerSecond <= 0.0)
        return;
    std::mt19937_64 random(mixSeed(m_seed, second));
    // Arrivals of a Poisson process: exponential gaps between the drops.
    double t = -std::log(unitOpen(random)) / m_dropsPerSecond;
    while (t < 1.0) {
        rainDrop drop;
        drop.time = double(second) + t;
        drop.position = 1.0 - unitOpen(random);
        drop.diameter = DROP_MIN_DIAMETER - MEAN_EXTRA_DIAMETER * std::log(unitOpen(random));
        if (drop.diameter > DROP_MAX_DIAMETER)
            drop.diameter = DROP_MAX_DIAMETER;
        drops->push_back(drop);
        t += -std::log(unitOpen(random)) / m_dropsPerSecond;
    }
}

std::vector<rainDrop> rainModel::dropsBetween(double from, double to) const {
    std::vector<rainDrop> drops;
    if (!(to > from))
        return drops;
    std::vector<rainDrop> ofSecond;
    for (int64_t second = int64_t(std::floor(from)); double(second) < to; ++second) {
        ofSecond.clear();
        dropsOfSecond(second, &ofSecond);
        for (const rainDrop& drop : ofSecond) {
            if (drop.time >= from && drop.time < to)
                drops.push_back(drop);
        }
    }
    return drops;
}

double fallSpeed(double diameter) {
    // An empirical fit of measured terminal velocities of rain drops in still air.
    double speed = 9.65 - 10.3 * std::exp(-0.6 * diameter);
    return speed > 0.5 ? speed : 0.5;
}
