// Throughput of camera A's input through an SMB share against a local folder: transfer files
// wait in the input directory; one poll moves them into the working directory (across file
// systems: a copy, a sync, a rename, the removal of the source) and each is read into the
// queue, as the run loop does. The figure is frames per second of that, the median of 5 runs.
// With "--server DIR --mount DIR" the files are written into the camera's folder DIR on the
// server side and the station takes them from the same folder through the mount (its
// operations on it run on the share's worker, as in the station); without, from a local one.
// scripts/share-figures runs both against scripts/share-fixture. "--smoke": one run.
#include "benchSupport.h"

#include "format/rleCodec.h"
#include "platform/cameraShare.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

const int FILES = 100;
const int FRAMES_PER_FILE = 20;
const int RUNS = 5;
const double SYNC_TIME = 1717243200.5;

// Frames per second of one run; 0 when not every frame arrived.
double oneRun(const QString& server, const QString& mount) {
    benchStation station(QDir::tempPath(), SYNC_TIME);
    const uint16_t syncId = station.synchronise();
    cameraInput& camera = station.camera(1);
    const QString writeDir = server.isEmpty() ? station.inputDir(1) : server;
    std::unique_ptr<cameraShare> share;
    if (!mount.isEmpty()) {
        share = std::make_unique<cameraShare>(5000);
        cameraInputConfig config = camera.config();
        config.inputDir = mount;
        camera.configure(config);
        camera.useShare(share.get());
        camera.prepareInput();
    }
    // Drops of a heavy shower: frames of 60 lines with a few shadows each.
    std::vector<shadowLine> lines(60, shadowLine{{100, 6}, {300, 12}, {700, 4}});
    frameBytes frame;
    if (encodeRleFrame(lines, syncId, 0, &frame) != 0)
        std::abort();
    for (int i = 0; i < FILES; ++i) {
        const uint64_t first = uint64_t(i) * FRAMES_PER_FILE * 100;
        std::vector<frameBytes> frames(FRAMES_PER_FILE, frame);
        for (int f = 0; f < FRAMES_PER_FILE; ++f)
            placeFrame(&frames[size_t(f)], syncId, first + uint64_t(f) * 100);
        writeWhole(writeDir + "/" + transferName(1, i),
                   transferFile(1, syncId, first, frames, first + FRAMES_PER_FILE * 100));
    }
    station.recordedUntil(uint64_t(FILES) * FRAMES_PER_FILE * 100);
    const double started = monotonicSeconds();
    if (camera.collectInput() == 0)
        return 0.0;
    while (camera.processNextFile() == PROCESSED_TRANSFER) {
    }
    const double seconds = monotonicSeconds() - started;
    const size_t frames = size_t(FILES) * FRAMES_PER_FILE;
    const bool whole = camera.queue().size() == frames;
    camera.useShare(nullptr); // the share goes before the station's input
    return whole ? double(frames) / seconds : 0.0;
}

} // namespace

int main(int argc, char** argv) {
    const QString server = optionValue(argc, argv, "--server", QString());
    const QString mount = optionValue(argc, argv, "--mount", QString());
    const int runs = optionSmoke(argc, argv) ? 1 : RUNS;
    separateResults(optionMessages(argc, argv));
    std::vector<double> rates;
    for (int i = 0; i < runs; ++i)
        rates.push_back(oneRun(server, mount));
    std::sort(rates.begin(), rates.end());
    const double median = rates[size_t(runs) / 2];
    const bool complete = rates.front() > 0.0 && stationErrors() == 0;
    const bool pass =
        printResult(mount.isEmpty() ? "input from a local folder" : "input through an SMB share",
                    format("%.0f frames/s", median), "every frame taken", complete, true);
    printNote(format("%d transfer files of %d frames per run, median of %d runs (%.0f .. %.0f)",
                     FILES, FRAMES_PER_FILE, runs, rates.front(), rates.back()));
    return pass ? 0 : 1;
}
