// Backlog: after an outage a whole day of files may wait. processNextFile over 1,000 and over
// 20,000 waiting transfer files of one camera (one poll moves them into the working
// directory, then one call per file): the cost of a file must not grow with the number of
// files waiting behind it. The station reads them once their lines were recorded.
// "--smoke": one run over 100 and 2,000 files.
#include "benchSupport.h"
#include "runSpread.h"

#include "format/rleCodec.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>

namespace {

const double TARGET_RATIO = 1.5;
const int SMALL = 1000;
const int LARGE = 20000;
const int SMOKE_SMALL = 100;
const int SMOKE_LARGE = 2000;
// Runs of the small backlog for each large one, the fastest counting: it is over in a few
// milliseconds, so one interruption would decide its figure.
const int SMALL_ROUNDS = 3;
const double SYNC_TIME = 1717243200.5;
// Lines a file covers: two frames of 4 lines, 20 lines apart.
const uint64_t LINES_PER_FILE = 40;

struct backlogRun {
    double perFile = 0.0; // seconds
    bool complete = false;
};

// `count` files of camera A waiting behind each other, each with two frames of a few lines.
backlogRun runBacklog(const QString& root, int count) {
    benchStation station(root, SYNC_TIME);
    const uint16_t syncId = station.synchronise();
    std::vector<shadowLine> lines(4, shadowLine{{100, 6}});
    frameBytes frame;
    if (encodeRleFrame(lines, syncId, 0, &frame) != 0)
        std::abort();
    for (int i = 0; i < count; ++i) {
        uint64_t first = uint64_t(i) * LINES_PER_FILE;
        std::vector<frameBytes> frames{frame, frame};
        placeFrame(&frames[0], syncId, first);
        placeFrame(&frames[1], syncId, first + LINES_PER_FILE / 2);
        writeWhole(station.inputDir(1) + "/" + transferName(1, i),
                   transferFile(1, syncId, first, frames, first + LINES_PER_FILE));
    }
    station.recordedUntil(uint64_t(count) * LINES_PER_FILE);
    cameraInput& camera = station.camera(1);
    backlogRun run;
    if (camera.collectInput() == 0)
        return run;
    int handled = 0;
    double started = monotonicSeconds();
    while (camera.processNextFile() == PROCESSED_TRANSFER)
        ++handled;
    run.perFile = (monotonicSeconds() - started) / count;
    run.complete = handled == count && camera.queue().size() == size_t(count) * 2;
    return run;
}

double fastest(const QString& root, int count, int rounds, bool* complete) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        backlogRun run = runBacklog(root, count);
        *complete = *complete && run.complete;
        best = std::min(best, run.perFile);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const bool smoke = optionSmoke(argc, argv);
    const int runs = optionRuns(argc, argv);
    const int small = smoke ? SMOKE_SMALL : SMALL;
    const int large = smoke ? SMOKE_LARGE : LARGE;
    separateResults(optionMessages(argc, argv));
    bool complete = true;
    std::vector<double> ratios, smalls, larges;
    for (int i = 0; i < runs; ++i) {
        smalls.push_back(fastest(root, small, smoke ? 1 : SMALL_ROUNDS, &complete) * 1e6);
        larges.push_back(fastest(root, large, 1, &complete) * 1e6);
        ratios.push_back(larges.back() / smalls.back());
    }
    complete = complete && stationErrors() == 0;
    const runSpread ratio = spreadOf(ratios);
    const bool pass = printResult("backlog", format("%s x", formatSpread(ratio, "%.2f").c_str()),
                                  format("<= %.1f x the cost at %d", TARGET_RATIO, small), complete,
                                  ratio.median <= TARGET_RATIO);
    printNote(format("processNextFile, median (min-max) of %d runs: %s us per file with %d "
                     "waiting, %s us with %d%s",
                     runs, formatSpread(spreadOf(smalls), "%.1f").c_str(), small,
                     formatSpread(spreadOf(larges), "%.1f").c_str(), large,
                     complete ? "" : "; FILES NOT PROCESSED"));
    return pass ? 0 : 1;
}
