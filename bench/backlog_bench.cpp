// Backlog: after an outage a whole day of files may wait. processNextFile over 1,000 and over
// 20,000 waiting transfer files of one camera (one poll moves them into the working
// directory, then one call per file): the cost of a file must not grow with the number of
// files waiting behind it.
#include "benchSupport.h"

#include "format/rleCodec.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>

namespace {

const double TARGET_RATIO = 1.5;
const int SMALL = 1000;
const int LARGE = 20000;
// Rounds of the small backlog, the best counting: it is over in a few milliseconds.
const int SMALL_ROUNDS = 5;
const int LARGE_ROUNDS = 2;
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
    run.complete = handled == count && camera.size() == size_t(count) * 2;
    return run;
}

double best(const QString& root, int count, int rounds, bool* complete) {
    double fastest = 1e9;
    for (int i = 0; i < rounds; ++i) {
        backlogRun run = runBacklog(root, count);
        *complete = *complete && run.complete;
        fastest = std::min(fastest, run.perFile);
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    separateResults(optionMessages(argc, argv));
    bool complete = true;
    double small = best(root, SMALL, SMALL_ROUNDS, &complete);
    double large = best(root, LARGE, LARGE_ROUNDS, &complete);
    complete = complete && stationErrors() == 0;
    double ratio = large / small;
    printResult("backlog", format("%.2f x (%.1f us/file at 20,000)", ratio, large * 1e6),
                format("<= %.1f x the cost at 1,000", TARGET_RATIO),
                complete && ratio <= TARGET_RATIO);
    printNote(format("processNextFile: %.1f us per file with 1,000 waiting, %.1f us with 20,000%s",
                     small * 1e6, large * 1e6, complete ? "" : "; FILES NOT PROCESSED"));
    return complete && ratio <= TARGET_RATIO ? 0 : 1;
}
