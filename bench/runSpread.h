// The spread of a figure over repeated runs of a benchmark: every benchmark runs at least
// five times and judges on the median, printing minimum and maximum beside it, because one
// run on a shared machine says little about whether a change helped.
#pragma once

#include <string>
#include <vector>

// Runs each benchmark makes unless "--runs N" asks for more (fewer are not accepted).
const int MIN_RUNS = 5;

struct runSpread {
    double median = 0.0;
    double min = 0.0;
    double max = 0.0;
    int runs = 0;
};

// Median (of an even count: the mean of the middle two), minimum and maximum of `values`.
runSpread spreadOf(std::vector<double> values);

// "median (min–max)" with each value printed by the printf format `valueFormat`, e.g. "%.2f".
std::string formatSpread(const runSpread& spread, const char* valueFormat);

// "--runs N" from the command line, at least MIN_RUNS; 1 in a smoke run ("--smoke").
int optionRuns(int argc, char** argv);
