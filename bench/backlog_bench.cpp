// Backlog: after an outage a whole day of files may wait. processNextFile over 1,000 and over
// 20,000 waiting transfer files of one camera (one poll moves them into the working
// directory, then one call per file): the cost of a file must not grow with the number of
// files waiting behind it.
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
// Runs of the small backlog for each large one, the fastest counting: it is over in a few
// milliseconds, so one interruption would decide its figure.
const int SMALL_ROUNDS = 3;
const double SYNC_TIME = 1717243200.5;

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
        uint64_t first = uint64_t(i) * 40;
        std::vector<frameBytes> frames{frame, frame};
        placeFrame(&frames[0], syncId, first);
        placeFrame(&frames[1], syncId, first + 20);
        writeWhole(station.inputDir(1) + "/" + transferName(1, i),
                   transferFile(1, syncId, first, frames, first + 40));
    }
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
    const int runs = optionRuns(argc, argv);
    separateResults(optionMessages(argc, argv));
    bool complete = true;
    std::vector<double> ratios, smalls, larges;
    for (int i = 0; i < runs; ++i) {
        smalls.push_back(fastest(root, SMALL, SMALL_ROUNDS, &complete) * 1e6);
        larges.push_back(fastest(root, LARGE, 1, &complete) * 1e6);
        ratios.push_back(larges.back() / smalls.back());
    }
    complete = complete && stationErrors() == 0;
    const runSpread ratio = spreadOf(ratios);
    const bool pass = complete && ratio.median <= TARGET_RATIO;
    printResult("backlog", format("%s x", formatSpread(ratio, "%.2f").c_str()),
                format("<= %.1f x the cost at 1,000", TARGET_RATIO), pass);
    printNote(format("processNextFile, median (min-max) of %d runs: %s us per file with 1,000 "
                     "waiting, %s us with 20,000%s",
                     runs, formatSpread(spreadOf(smalls), "%.1f").c_str(),
                     formatSpread(spreadOf(larges), "%.1f").c_str(),
                     complete ? "" : "; FILES NOT PROCESSED"));
    return pass ? 0 : 1;
}
