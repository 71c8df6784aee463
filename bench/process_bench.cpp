// The running program: acquire_kiv as a process in a station folder of its own, with
// camera_sim delivering heavy rain until each camera has delivered a fixed number of frames
// (transfer files without frames follow, so that the last interval is completed). The run
// ends when the datafiles hold every frame; an idle run of the same length (camera_sim --rain
// dry) follows. The controller's CPU time is that of the process this benchmark started,
// never of one found by name: over the measurement (from the first synchronisation to the
// end) from its threads' schedstat, over its life and with its peak resident memory from
// wait4. Verdicts on the medians of the runs: CPU per frame beyond idle over the measurement,
// and peak resident memory. A run fails when the controller counted an error (its status file).
// "--smoke": one pair of short runs.
#include "benchSupport.h"
#include "childProcess.h"
#include "runSpread.h"

#include <QDir>

#include <chrono>
#include <thread>

namespace {

const double TARGET_MICROSECONDS_PER_FRAME = 1.0;
const double TARGET_PEAK_MIB = 32.0;
// Frames per camera: about 20 s of heavy rain.
const int FRAMES_PER_CAMERA = 25000;
// A smoke run: about 2 s of heavy rain.
const int SMOKE_FRAMES_PER_CAMERA = 2500;
// How long the handshake and the run may take before the run counts as failed.
const double START_LIMIT = 60.0;
const double RUN_LIMIT = 300.0;

struct runResult {
    bool complete = false;
    double seconds = 0.0;   // of the measurement: from the first synchronisation to the stop
    double measuring = 0.0; // CPU-s of the controller meanwhile
    childUsage controller;
    int64_t frames = 0;
    int64_t datafiles = 0;
    int errors = -1; // that the controller counted
};

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// One station: camera_sim with `rain` for `frameLimit` frames per camera, acquire_kiv, until
// the datafiles hold 2 × frameLimit frames (with frameLimit 0: `length` seconds after the first
// synchronisation).
runResult runStation(const QString& root, const QString& bin, const char* rain, int frameLimit,
                     double length) {
    runResult result;
    QTemporaryDir folder(root + QStringLiteral("/kiv-process-XXXXXX"));
    QDir station(folder.path());
    makeStationFolder(station.path());
    const QString out = station.filePath(QStringLiteral("3sec"));
    childProcess cameras(bin + QStringLiteral("/camera_sim"),
                         {"--a-control", station.filePath("cam_a/control"), "--a-input",
                          station.filePath("cam_a/input"), "--b-control",
                          station.filePath("cam_b/control"), "--b-input",
                          station.filePath("cam_b/input"), "--rain", rain, "--frames",
                          QString::number(frameLimit)},
                         station.path(), station.filePath("camera_sim.log"));
    const double launched = monotonicSeconds();
    childProcess controller(bin + QStringLiteral("/acquire_kiv"), {}, station.path(),
                            station.filePath("acquire_kiv.log"));
    const int64_t wanted = 2 * int64_t(frameLimit);
    // The measurement runs once the first synchronisation is in the sync list.
    bool measuring = false;
    while (!measuring && controller.running() && monotonicSeconds() - launched < START_LIMIT) {
        sleepSeconds(0.05);
        measuring = !QDir(station.filePath("sync")).isEmpty();
    }
    const double started = monotonicSeconds();
    const double cpuStarted = controller.cpuPrecise();
    bool done = false;
    while (measuring && !done && controller.running()) {
        sleepSeconds(0.2);
        const double elapsed = monotonicSeconds() - started;
        if (frameLimit == 0) {
            done = elapsed >= length;
        } else {
            // A datafile that does not read back yet is counted at the next look.
            int64_t bytes = 0;
            done = countDatafileFrames(out, &result.frames, &result.datafiles, &bytes) &&
                   result.frames >= wanted;
            if (elapsed > RUN_LIMIT)
                break;
        }
    }
    result.measuring = controller.cpuPrecise() - cpuStarted;
    result.seconds = monotonicSeconds() - started;
    const bool ran = controller.running();
    result.controller = controller.stop();
    cameras.stop();
    int64_t bytes = 0;
    const bool readable = countDatafileFrames(out, &result.frames, &result.datafiles, &bytes);
    result.errors = statusFileErrors(station.path());
    if (result.errors != 0)
        printLogErrors(station.filePath("acquire_kiv.log"));
    result.complete = done && ran && readable && cpuStarted >= 0.0 &&
                      result.controller.cpuSeconds >= 0.0 && result.errors == 0 &&
                      (frameLimit == 0 || result.frames == wanted);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const QString bin = optionValue(argc, argv, "--bin", QStringLiteral(KIV_BINARY_DIR));
    const bool smoke = optionSmoke(argc, argv);
    const int frames =
        optionValue(argc, argv, "--frames",
                    QString::number(smoke ? SMOKE_FRAMES_PER_CAMERA : FRAMES_PER_CAMERA))
            .toInt();
    const int runs = optionRuns(argc, argv);
    separateResults(optionMessages(argc, argv));

    std::vector<double> perFrame, perMillion, perDatafile, idlePerDatafile, peak, rainCpu, idleCpu,
        lengths;
    bool complete = true;
    int64_t totalFrames = 0, datafiles = 0;
    // Rain and idle take turns, so that both meet the machine in the same moods.
    for (int run = 0; run < runs && complete; ++run) {
        const runResult rain = runStation(root, bin, "heavy", frames, 0.0);
        const runResult idle = runStation(root, bin, "dry", 0, rain.seconds);
        complete = rain.complete && idle.complete;
        if (!complete)
            break;
        const double beyondIdle = rain.measuring - idle.measuring;
        perFrame.push_back(beyondIdle / double(rain.frames) * 1e6);
        perMillion.push_back(rain.controller.cpuSeconds / double(rain.frames) * 1e6);
        perDatafile.push_back(rain.controller.cpuSeconds / double(rain.datafiles) * 1e3);
        if (idle.datafiles > 0)
            idlePerDatafile.push_back(idle.controller.cpuSeconds / double(idle.datafiles) * 1e3);
        peak.push_back(double(rain.controller.peakResidentKiB) / 1024.0);
        rainCpu.push_back(rain.measuring);
        idleCpu.push_back(idle.measuring);
        lengths.push_back(rain.seconds);
        totalFrames = rain.frames;
        datafiles = rain.datafiles;
    }
    const runSpread frameCost = spreadOf(perFrame);
    const runSpread memory = spreadOf(peak);
    const bool pass = printResult(
        "process", format("%s us/frame beyond idle", formatSpread(frameCost, "%.2f").c_str()),
        format("<= %.1f us, <= %.0f MiB", TARGET_MICROSECONDS_PER_FRAME, TARGET_PEAK_MIB), complete,
        frameCost.median <= TARGET_MICROSECONDS_PER_FRAME && memory.median <= TARGET_PEAK_MIB);
    printNote(format("peak resident %s MiB; CPU-s per million frames %s (idle included)",
                     formatSpread(memory, "%.1f").c_str(),
                     formatSpread(spreadOf(perMillion), "%.2f").c_str()));
    printNote(format("CPU-ms per datafile %s, idle %s (whole runs); CPU-s measuring %s, idle %s",
                     formatSpread(spreadOf(perDatafile), "%.1f").c_str(),
                     formatSpread(spreadOf(idlePerDatafile), "%.1f").c_str(),
                     formatSpread(spreadOf(rainCpu), "%.3f").c_str(),
                     formatSpread(spreadOf(idleCpu), "%.3f").c_str()));
    printNote(format("acquire_kiv with camera_sim --rain heavy --frames %d: %lld frames in %lld "
                     "datafiles, measuring %s s; median of %d runs (min-max)%s",
                     frames, (long long)totalFrames, (long long)datafiles,
                     formatSpread(spreadOf(lengths), "%.1f").c_str(), int(perFrame.size()),
                     complete ? "" : "; A RUN FAILED: FRAMES MISSING OR THE STATION DID NOT RUN"));
    return pass ? 0 : 1;
}
