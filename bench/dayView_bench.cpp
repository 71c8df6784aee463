// Day view of a day of heavy rain: 28,800 datafiles of the camera simulator's heavy rain,
// read by "kiv_inspect --day" into its picture and figures, at least five times. Target: the
// median run within 60 s and at most 256 MiB resident. Beside it "cat" reads the same bytes,
// and both are given as throughput.
//
// The day is made of a few minutes of heavy rain written by the station's own pipeline; each
// of those datafiles stands under many names of the day (hard links), so the day's 28,800
// files hold the bytes of a heavy day without taking them on disk.
//
// "--example DIR" writes instead a simulated day of moderate showers with a dirty spot on
// camera A's window and an outage into DIR/3sec and DIR/sync, for the day picture of the
// README, and exits. "--heavy DIR" writes the heavy day the benchmark reads into DIR (hard
// links, a few hundred megabytes on disk) and exits, to compare or profile the day view on it.
#include "benchSupport.h"
#include "daySimulation.h"

#include "format/datafileReader.h"
#include "output/frameRecord.h"
#include "rainModel.h"
#include "sync/syncList.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const double TARGET_SECONDS = 60.0;
const long TARGET_KIB = 256 * 1024;
const int RUNS = 5;
// 2024-06-01 00:00:00 UTC; the benchmark runs in UTC, so local time is UTC.
const double DAY_START = 1717200000.0;
const int HEAVY_SECONDS = 600; // 200 distinct heavy intervals
const int DISTINCT_SECONDS = 40;
const int DAY_SECONDS = 86400;

struct runResult {
    double seconds;
    double cpuSeconds; // user and system: what the run cost, however busy the machine was
    long maxKiB;
};

// Runs `argv` with its standard output to /dev/null; wall time and peak resident memory.
runResult runProgram(const std::vector<std::string>& args) {
    double started = monotonicSeconds();
    pid_t pid = fork();
    if (pid == 0) {
        FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "dayView: %s failed\n", args.front().c_str());
        std::exit(2);
    }
    double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return runResult{monotonicSeconds() - started, cpu, usage.ru_maxrss};
}

// The machine's load over the last minute: other work slows the runs down.
double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The day's 28,800 names, each a hard link to one of `sources` in turn; the bytes they hold.
int64_t linkDay(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QStringList sources = QDir(from).entryList(QDir::Files, QDir::Name);
    sources.removeFirst(); // the first interval began with the synchronisation, not whole
    int64_t bytes = 0;
    for (int i = 0; i < DAY_SECONDS / INTERVAL_LENGTH; ++i) {
        const QString source = from + "/" + sources[i % sources.size()];
        int64_t second = int64_t(DAY_START) + int64_t(i) * INTERVAL_LENGTH;
        QString name = QStringLiteral("%1.%2")
                           .arg(second / 1000, 8, 10, QLatin1Char('0'))
                           .arg(second % 1000, 3, 10, QLatin1Char('0'));
        if (link(QFile::encodeName(source).constData(),
                 QFile::encodeName(to + "/" + name).constData()) != 0)
            std::abort();
        bytes += QFile(source).size();
    }
    return bytes;
}

// Showers by the hour, a dirty spot on camera A from 15:00, no datafiles 03:10 .. 04:30, and
// the day's synchronisations: planned ones on the full hour, unplanned ones after the outage
// and at 09:20.
int writeExample(const QString& root, const QString& target) {
    benchStation station(root, DAY_START + 0.5);
    daySimulation day;
    day.start = DAY_START + 0.5;
    day.seconds = DAY_SECONDS + 6; // the next interval closes the last one
    day.dropsPerSecond = [](int second) {
        static const double hourly[24] = {0, 0,  3,  3,  10,  30, 60, 30, 10, 3, 0, 0,
                                          3, 10, 40, 80, 120, 80, 40, 10, 3,  3, 0, 0};
        return hourly[second / 3600];
    };
    day.dirtyFrom = 15 * 3600;
    day.dirtyTo = DAY_SECONDS;
    simulateDay(&station, day);
    if (stationErrors() != 0) {
        std::fprintf(stderr, "dayView: the station reported %d errors\n", stationErrors());
        return 2;
    }
    QDir().mkpath(target + "/3sec");
    QDir().mkpath(target + "/sync");
    for (const QString& name : QDir(station.outputDir()).entryList(QDir::Files)) {
        int64_t second = datafileLocalSecond(name) - int64_t(DAY_START);
        bool outage = second >= 3 * 3600 + 600 && second < 4 * 3600 + 1800;
        // The seconds after midnight only close the day's last interval.
        if (!outage && second < DAY_SECONDS &&
            !QFile::copy(station.outputDir() + "/" + name, target + "/3sec/" + name))
            std::abort();
    }
    // The synchronisations a station makes over such a day, written by its own sync list.
    syncList syncs;
    syncs.setDirectory(target + "/sync");
    cameraParams params;
    resetCameraParams(&params);
    params.cameraId = CAM_KIV;
    for (double at : {0.5, 3600 + 7.0, 7200 + 6.0, 3 * 3600 + 9.0, 4 * 3600 + 1805.0,
                      5 * 3600 + 8.0, 9 * 3600 + 1234.0, 10 * 3600 + 7.0}) {
        station.clock().set(DAY_START + at);
        syncs.addSync(params);
    }
    std::printf("example day written to %s\n", qPrintable(target));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);
    tzset();
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const QString bin = optionValue(argc, argv, "--bin", QStringLiteral(KIV_BINARY_DIR));
    const QString example = optionValue(argc, argv, "--example", QString());
    const QString keep = optionValue(argc, argv, "--heavy", QString());
    separateResults(optionMessages(argc, argv));
    if (!example.isEmpty())
        return writeExample(root, example);

    benchStation station(root, DAY_START + 0.5);
    daySimulation heavy;
    heavy.start = DAY_START + 0.5;
    heavy.seconds = HEAVY_SECONDS;
    heavy.dropsPerSecond = [](int) { return RAIN_HEAVY; };
    heavy.distinctSeconds = DISTINCT_SECONDS;
    const int written = simulateDay(&station, heavy);
    // A station that refused frames wrote fewer distinct datafiles than the day is made of.
    if (stationErrors() != 0 || written < HEAVY_SECONDS / INTERVAL_LENGTH - 1) {
        std::fprintf(stderr, "dayView: the station wrote %d datafiles with %d errors\n", written,
                     stationErrors());
        return 2;
    }
    const QString dayDir = keep.isEmpty() ? station.path() + "/day" : keep;
    const int64_t bytes = linkDay(station.outputDir(), dayDir);
    if (!keep.isEmpty()) {
        std::fprintf(stderr, "heavy day of %.2f GB written to %s\n", double(bytes) / 1e9,
                     qPrintable(keep));
        return 0;
    }
    const std::string image = (station.path() + "/day.png").toStdString();
    const std::string inspect = (bin + "/kiv_inspect").toStdString();

    std::vector<double> inspectTimes, inspectCpu, catTimes;
    long maxKiB = 0;
    for (int i = 0; i < RUNS; ++i) {
        runResult c =
            runProgram({"sh", "-c", "cd \"$0\" && cat -- * >/dev/null", dayDir.toStdString()});
        catTimes.push_back(c.seconds);
        runResult r =
            runProgram({inspect, "--day", dayDir.toStdString(), "--image", image, "--json"});
        inspectTimes.push_back(r.seconds);
        inspectCpu.push_back(r.cpuSeconds);
        maxKiB = std::max(maxKiB, r.maxKiB);
    }
    const double mid = median(inspectTimes);
    const double gb = double(bytes) / 1e9;
    bool pass = mid <= TARGET_SECONDS && maxKiB <= TARGET_KIB;
    printResult("dayView",
                format("%.1f s median (%.2f GB/s), %ld MiB", mid, gb / mid, maxKiB / 1024),
                format("<= %.0f s, <= %ld MiB", TARGET_SECONDS, TARGET_KIB / 1024), pass);
    printNote(format("kiv_inspect --day over %d datafiles, %.2f GB: median %.1f s, min %.1f s, "
                     "max %.1f s; cat of the same bytes: median %.1f s (%.2f GB/s), min %.1f s, "
                     "max %.1f s; %d runs; kiv_inspect CPU time median %.1f s, load average "
                     "%.1f at the end",
                     DAY_SECONDS / INTERVAL_LENGTH, gb, mid,
                     *std::min_element(inspectTimes.begin(), inspectTimes.end()),
                     *std::max_element(inspectTimes.begin(), inspectTimes.end()), median(catTimes),
                     gb / median(catTimes), *std::min_element(catTimes.begin(), catTimes.end()),
                     *std::max_element(catTimes.begin(), catTimes.end()), RUNS, median(inspectCpu),
                     loadAverage()));
    return pass ? 0 : 1;
}
