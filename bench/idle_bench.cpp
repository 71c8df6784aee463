// Idle: the real acquire_kiv measuring with two simulated cameras that deliver no frames (a
// transfer file without frames every second each, "camera_sim --rain dry"), in a station
// folder of its own. Once the measurement runs, the CPU time the station takes over 20 s is
// read from its threads' schedstat, in repeated runs: a station waiting for rain must leave
// the computer to others. A run fails when the station measured no datafiles or counted an
// error (its status file). "--smoke": one run of 9 s.
#include "benchSupport.h"
#include "childProcess.h"
#include "runSpread.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

const double TARGET_CPU_SECONDS = 0.6; // in a minute
const int SECONDS = 20;
const int SMOKE_SECONDS = 9;
// How long the handshake may take before the measurement runs.
const int START_LIMIT = 60;

int datafiles(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("*.[0-9][0-9][0-9]")}, QDir::Files).size();
}

struct idleRun {
    bool complete = false;
    double cpu = 0.0; // CPU-s over `seconds`
    int written = 0;
};

idleRun runIdle(const QString& root, const QString& bin, int seconds) {
    idleRun result;
    QTemporaryDir folder(root + QStringLiteral("/kiv-idle-XXXXXX"));
    QDir station(folder.path());
    makeStationFolder(station.path());

    childProcess cameras(bin + QStringLiteral("/camera_sim"),
                         {"--a-control", station.filePath("cam_a/control"), "--a-input",
                          station.filePath("cam_a/input"), "--b-control",
                          station.filePath("cam_b/control"), "--b-input",
                          station.filePath("cam_b/input"), "--rain", "dry"},
                         station.path(), station.filePath("camera_sim.log"));
    childProcess acquire(bin + QStringLiteral("/acquire_kiv"), {}, station.path(),
                         station.filePath("acquire_kiv.log"));

    // The measurement runs once the first synchronisation is in the sync list.
    bool measuring = false;
    for (int i = 0; i < START_LIMIT * 10 && !measuring; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        measuring = !QDir(station.filePath("sync")).entryList(QDir::Files).isEmpty();
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    double cpuStart = acquire.cpuPrecise();
    int filesStart = datafiles(station.filePath("3sec"));
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    result.cpu = acquire.cpuPrecise() - cpuStart;
    result.written = datafiles(station.filePath("3sec")) - filesStart;
    bool running = measuring && cpuStart >= 0.0 && acquire.running();
    acquire.stop();
    const int errors = statusFileErrors(station.path());
    if (errors != 0)
        printLogErrors(station.filePath("acquire_kiv.log"));
    // Both cameras are heard all the while: a datafile every 3 seconds.
    result.complete = running && errors == 0 && result.written >= std::max(1, seconds / 3 - 2);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const QString bin = optionValue(argc, argv, "--bin", QStringLiteral(KIV_BINARY_DIR));
    const bool smoke = optionSmoke(argc, argv);
    const int seconds =
        optionValue(argc, argv, "--seconds", QString::number(smoke ? SMOKE_SECONDS : SECONDS))
            .toInt();
    const int runs = optionRuns(argc, argv);
    separateResults(optionMessages(argc, argv));

    std::vector<double> perMinute;
    int written = 0;
    bool complete = true;
    for (int run = 0; run < runs && complete; ++run) {
        const idleRun idle = runIdle(root, bin, seconds);
        complete = idle.complete;
        perMinute.push_back(idle.cpu * 60.0 / seconds);
        written = idle.written;
    }
    const runSpread cpu = spreadOf(perMinute);
    const bool pass =
        printResult("idle",
                    format("%s CPU-s a minute (%.2f %% of a core)",
                           formatSpread(cpu, "%.3f").c_str(), 100.0 * cpu.median / 60.0),
                    format("<= %.1f CPU-s a minute", TARGET_CPU_SECONDS), complete,
                    cpu.median <= TARGET_CPU_SECONDS);
    printNote(format("acquire_kiv measuring with camera_sim --rain dry, %d runs of %d s, median "
                     "(min-max): %d datafiles of empty frames a run%s",
                     int(perMinute.size()), seconds, written,
                     complete ? "" : "; THE STATION DID NOT MEASURE"));
    return pass ? 0 : 1;
}
