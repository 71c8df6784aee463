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
//
// Every run must account for the day: each datafile present, none damaged, every frame decoded
// and counted. "--smoke": one run over half an hour made of half a minute of rain.
#include "benchSupport.h"
#include "daySimulation.h"

#include "format/datafileReader.h"
#include "output/frameRecord.h"
#include "rainModel.h"
#include "sync/syncList.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
const int SMOKE_HEAVY_SECONDS = 30;
const int SMOKE_DAY_SECONDS = 1800;

struct runResult {
    double seconds;
    double cpuSeconds; // user and system: what the run cost, however busy the machine was
    long maxKiB;
};

// Runs `argv` with its standard output to `output`; wall time and peak resident memory.
runResult runProgram(const std::vector<std::string>& args, const char* output = "/dev/null") {
    double started = monotonicSeconds();
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(output, "w", stdout))
            _exit(127);
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

// Frame entries of the datafile `path`; -1 when it does not read back.
int64_t datafileFrames(const QString& path) {
    QFile file(path);
    datafileContent content;
    datafileProblem problem;
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray data = file.readAll();
    if (!readDatafile(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()),
                      &content, &problem))
        return -1;
    return int64_t(content.entries.size());
}

struct linkedDay {
    int files = 0;
    int64_t bytes = 0;
    int64_t frames = 0;
};

// The first `seconds` of the day as datafile names, each a hard link to one of `sources` in
// turn; the files, bytes and frame entries they hold.
linkedDay linkDay(const QString& from, const QString& to, int seconds) {
    QDir().mkpath(to);
    QStringList sources = QDir(from).entryList(QDir::Files, QDir::Name);
    sources.removeFirst(); // the first interval began with the synchronisation, not whole
    std::vector<int64_t> frames;
    for (const QString& source : sources) {
        frames.push_back(datafileFrames(from + "/" + source));
        if (frames.back() < 0)
            std::abort();
    }
    linkedDay day;
    for (int i = 0; i < seconds / INTERVAL_LENGTH; ++i) {
        const QString source = from + "/" + sources[i % sources.size()];
        int64_t second = int64_t(DAY_START) + int64_t(i) * INTERVAL_LENGTH;
        QString name = QStringLiteral("%1.%2")
                           .arg(second / 1000, 8, 10, QLatin1Char('0'))
                           .arg(second % 1000, 3, 10, QLatin1Char('0'));
        if (link(QFile::encodeName(source).constData(),
                 QFile::encodeName(to + "/" + name).constData()) != 0)
            std::abort();
        day.bytes += QFile(source).size();
        day.frames += frames[size_t(i) % frames.size()];
        ++day.files;
    }
    return day;
}

// What "kiv_inspect --day --json" said of the day in `json` against what the day holds: an
// empty text when it accounted for every datafile and frame, else what it missed.
std::string checkDay(const QString& json, const linkedDay& day) {
    QFile file(json);
    if (!file.open(QIODevice::ReadOnly))
        return "no JSON from kiv_inspect";
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    int64_t frames = 0;
    for (const QJsonValue& minute : o.value("minutes").toArray())
        frames += minute["frames_a"].toInteger() + minute["frames_b"].toInteger();
    const int64_t present = o.value("intervals_present").toInteger();
    const int64_t damaged = o.value("intervals_damaged").toInteger();
    const int64_t undecoded =
        o.value("undecoded_frames_a").toInteger() + o.value("undecoded_frames_b").toInteger();
    if (present == day.files && damaged == 0 && undecoded == 0 && frames == day.frames)
        return std::string();
    return format("kiv_inspect found %lld of %d intervals, %lld damaged, %lld of %lld frames, "
                  "%lld undecoded",
                  (long long)present, day.files, (long long)damaged, (long long)frames,
                  (long long)day.frames, (long long)undecoded);
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
    const bool smoke = optionSmoke(argc, argv);
    separateResults(optionMessages(argc, argv));
    if (!example.isEmpty())
        return writeExample(root, example);

    const int heavySeconds = smoke ? SMOKE_HEAVY_SECONDS : HEAVY_SECONDS;
    const int runs = smoke ? 1 : RUNS;
    benchStation station(root, DAY_START + 0.5);
    daySimulation heavy;
    heavy.start = DAY_START + 0.5;
    heavy.seconds = heavySeconds;
    heavy.dropsPerSecond = [](int) { return RAIN_HEAVY; };
    heavy.distinctSeconds = DISTINCT_SECONDS;
    const int written = simulateDay(&station, heavy);
    // A station that refused frames wrote fewer distinct datafiles than the day is made of.
    if (stationErrors() != 0 || written < heavySeconds / INTERVAL_LENGTH - 1) {
        std::fprintf(stderr, "dayView: the station wrote %d datafiles with %d errors\n", written,
                     stationErrors());
        return 2;
    }
    const QString dayDir = keep.isEmpty() ? station.path() + "/day" : keep;
    const linkedDay day =
        linkDay(station.outputDir(), dayDir, smoke ? SMOKE_DAY_SECONDS : DAY_SECONDS);
    if (!keep.isEmpty()) {
        std::fprintf(stderr, "heavy day of %.2f GB written to %s\n", double(day.bytes) / 1e9,
                     qPrintable(keep));
        return 0;
    }
    const std::string image = (station.path() + "/day.png").toStdString();
    const QString json = station.path() + "/day.json";
    const std::string inspect = (bin + "/kiv_inspect").toStdString();

    std::vector<double> inspectTimes, inspectCpu, catTimes;
    long maxKiB = 0;
    std::string missed;
    for (int i = 0; i < runs; ++i) {
        runResult c =
            runProgram({"sh", "-c", "cd \"$0\" && cat -- * >/dev/null", dayDir.toStdString()});
        catTimes.push_back(c.seconds);
        runResult r =
            runProgram({inspect, "--day", dayDir.toStdString(), "--image", image, "--json"},
                       QFile::encodeName(json).constData());
        inspectTimes.push_back(r.seconds);
        inspectCpu.push_back(r.cpuSeconds);
        maxKiB = std::max(maxKiB, r.maxKiB);
        if (missed.empty())
            missed = checkDay(json, day);
    }
    const double mid = median(inspectTimes);
    const double gb = double(day.bytes) / 1e9;
    const bool pass = printResult(
        "dayView", format("%.1f s median (%.2f GB/s), %ld MiB", mid, gb / mid, maxKiB / 1024),
        format("<= %.0f s, <= %ld MiB", TARGET_SECONDS, TARGET_KIB / 1024), missed.empty(),
        mid <= TARGET_SECONDS && maxKiB <= TARGET_KIB);
    if (!missed.empty())
        printNote(missed);
    printNote(format("kiv_inspect --day over %d datafiles, %.2f GB: median %.1f s, min %.1f s, "
                     "max %.1f s; cat of the same bytes: median %.1f s (%.2f GB/s), min %.1f s, "
                     "max %.1f s; %d runs; kiv_inspect CPU time median %.1f s, load average "
                     "%.1f at the end",
                     day.files, gb, mid,
                     *std::min_element(inspectTimes.begin(), inspectTimes.end()),
                     *std::max_element(inspectTimes.begin(), inspectTimes.end()), median(catTimes),
                     gb / median(catTimes), *std::min_element(catTimes.begin(), catTimes.end()),
                     *std::max_element(catTimes.begin(), catTimes.end()), runs, median(inspectCpu),
                     loadAverage()));
    return pass ? 0 : 1;
}
