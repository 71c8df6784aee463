#include "runSpread.h"
#include "benchSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

runSpread spreadOf(std::vector<double> values) {
    runSpread spread;
    if (values.empty())
        return spread;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    spread.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    spread.min = values.front();
    spread.max = values.back();
    spread.runs = int(n);
    return spread;
}

std::string formatSpread(const runSpread& spread, const char* valueFormat) {
    char median[64], low[64], high[64], text[256];
    std::snprintf(median, sizeof median, valueFormat, spread.median);
    std::snprintf(low, sizeof low, valueFormat, spread.min);
    std::snprintf(high, sizeof high, valueFormat, spread.max);
    std::snprintf(text, sizeof text, "%s (%s-%s)", median, low, high);
    return text;
}

int optionRuns(int argc, char** argv) {
    if (optionFlag(argc, argv, "--smoke"))
        return 1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            return std::max(MIN_RUNS, std::atoi(argv[i + 1]));
    return MIN_RUNS;
}
