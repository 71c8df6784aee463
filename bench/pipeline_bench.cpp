// Pipeline against a copy: transfer files of both cameras in heavy rain (the camera simulator's
// drops and frames) go through the station's own path, poll, input processing, reader, pairing and
// datafile writer with its fsyncs, into a datafile directory. A baseline in the same run does the
// file work any station must do with plain stdio: it moves each file into a working folder, reads
// it and deletes it, and writes as many files of the same total size, each fsynced and its folder
// synced, one after the other. (The station syncs each datafile too, but its folder once for eight
// renames, and on a thread of its own while it reads on: that is part of what is measured.) (The
// deletions belong in it: on ext4 without a journal a new file is not given an inode freed in the
// last seconds, so a baseline that deleted nothing paid for every file the station had just
// deleted, and its time swung from 0.36 to 0.93 s.) Station and baseline take turns in repeated
// rounds; on the median of the rounds the station may take at most 1.5 times the baseline's time.
// The station reads the files once their last lines were recorded, as a station catching up a
// backlog does. "--smoke": one round over half a minute of rain.
#include "benchSupport.h"
#include "runSpread.h"

#include "dropShadows.h"
#include "rainModel.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const double TARGET_RATIO = 1.5;
const int64_t MIN_BYTES = 200 * 1000 * 1000;
// A smoke run: 36 seconds of heavy rain, beyond how far ahead of its clock the station takes
// frames.
const int SMOKE_SECONDS = 36;
// Seconds of rain made with the simulator's model; longer stretches repeat them later in the
// line stream.
const int DISTINCT_SECONDS = 40;
const double SYNC_TIME = 1717243200.5;

struct transferSet {
    QStringList names[2]; // per camera, in name order
    int64_t bytes = 0;
    int64_t frames = 0;
    uint64_t endLine = 0; // of the last file
};

// Heavy rain seen by both cameras, one transfer file per camera and second, until at least
// `minBytes` and `minSeconds` are made.
transferSet makeRain(const QString& dir, uint16_t syncId, int64_t minBytes, int minSeconds) {
    transferSet set;
    cameraParams params;
    resetCameraParams(&params);
    rainModel rain(7, RAIN_HEAVY);
    std::vector<frameBytes> seconds[2][DISTINCT_SECONDS];
    bool made[DISTINCT_SECONDS] = {};
    for (int s = 0; set.bytes < minBytes || s < minSeconds; ++s) {
        if (!made[s % DISTINCT_SECONDS]) {
            made[s % DISTINCT_SECONDS] = true;
            for (int c = 0; c < 2; ++c) {
                // Camera B's light plane lies below camera A's: it sees the same drops a
                // little later.
                double depth = c == 0 ? 0.0
                                      : (double(params.planeBackLeft) + params.planeBackRight +
                                         params.planeFrontRight) /
                                            3.0;
                cameraView view{SYNC_TIME, params.lineFrequency, params.width, params.camA.xscale,
                                depth};
                if (rainFrames(rain, view, uint64_t(s) * LINES_PER_SECOND,
                               uint64_t(s + 1) * LINES_PER_SECOND, syncId, &seconds[c][s]) != 0)
                    std::abort();
            }
        }
        uint64_t first = uint64_t(s) * LINES_PER_SECOND;
        uint64_t shift = uint64_t(s - s % DISTINCT_SECONDS) * LINES_PER_SECOND;
        for (int c = 0; c < 2; ++c) {
            std::vector<frameBytes> frames = seconds[c][s % DISTINCT_SECONDS];
            for (frameBytes& frame : frames) {
                uint64_t line;
                std::memcpy(&line, frame.data() + 6, 8);
                placeFrame(&frame, syncId, line + shift);
            }
            QByteArray file = transferFile(c + 1, syncId, first, frames, first + LINES_PER_SECOND);
            QString name = transferName(c + 1, s);
            if (!writeWhole(dir + "/" + name, file))
                std::abort();
            set.names[c] << name;
            set.bytes += file.size();
            set.frames += int64_t(frames.size());
        }
        set.endLine = first + LINES_PER_SECOND;
    }
    return set;
}

// Fresh copies, as a camera delivers them (no fsync: the station finds them in the cache).
void copyInto(const QString& from, const QStringList& names, const QString& to) {
    for (const QString& name : names) {
        QFile file(from + "/" + name);
        if (!file.open(QIODevice::ReadOnly) || !writeWhole(to + "/" + name, file.readAll()))
            std::abort();
    }
}

// The baseline: every file moved into `workDir`, read whole with stdio and deleted; files of
// `sizes` written from what was read, each flushed, fsynced and its directory synced, as the
// station writes its datafiles. What was read waits until it fills the next file; files beyond
// the bytes read (the datafiles' headers may outweigh the transfer files') are written at the
// end all the same.
double runBaseline(const QString& inputDir, const QString& workDir, const QStringList& names,
                   const std::vector<int64_t>& sizes, const QString& outputDir) {
    std::vector<char> in(1 << 22);
    std::vector<char> out(1 << 23);
    size_t pending = 0;
    size_t next = 0;
    double started = monotonicSeconds();
    auto writeDue = [&](bool all) {
        while (next < sizes.size() && (all || pending >= size_t(sizes[next]))) {
            if (out.size() < size_t(sizes[next]))
                out.resize(size_t(sizes[next]));
            pending = std::max(pending, size_t(sizes[next]));
            QByteArray path = QFile::encodeName(outputDir + QStringLiteral("/b%1").arg(next));
            FILE* file = std::fopen(path.constData(), "wb");
            if (!file ||
                std::fwrite(out.data(), 1, size_t(sizes[next]), file) != size_t(sizes[next]))
                std::abort();
            std::fflush(file);
            fsync(fileno(file));
            std::fclose(file);
            int d = open(QFile::encodeName(outputDir).constData(), O_RDONLY | O_DIRECTORY);
            fsync(d);
            close(d);
            pending -= size_t(sizes[next]);
            std::memmove(out.data(), out.data() + sizes[next], pending);
            ++next;
        }
    };
    for (const QString& name : names) {
        const QByteArray input = QFile::encodeName(inputDir + "/" + name);
        const QByteArray work = QFile::encodeName(workDir + "/" + name);
        if (std::rename(input.constData(), work.constData()) != 0)
            std::abort();
        FILE* file = std::fopen(work.constData(), "rb");
        if (!file)
            std::abort();
        size_t count;
        while ((count = std::fread(in.data(), 1, in.size(), file)) > 0) {
            if (pending + count > out.size())
                out.resize(pending + count);
            std::memcpy(out.data() + pending, in.data(), count);
            pending += count;
            writeDue(false);
        }
        std::fclose(file);
        if (std::remove(work.constData()) != 0)
            std::abort();
    }
    writeDue(true);
    return monotonicSeconds() - started;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const bool smoke = optionSmoke(argc, argv);
    separateResults(optionMessages(argc, argv));
    benchStation station(root, SYNC_TIME);
    const uint16_t syncId = station.synchronise();
    const QString source = station.path() + QStringLiteral("/source");
    const QString baselineOut = station.path() + QStringLiteral("/baseline");
    const QString baselineWork = station.path() + QStringLiteral("/baselineWork");
    QDir().mkpath(source);
    QDir().mkpath(baselineOut);
    QDir().mkpath(baselineWork);
    transferSet set =
        smoke ? makeRain(source, syncId, 0, SMOKE_SECONDS) : makeRain(source, syncId, MIN_BYTES, 0);
    // The baseline reads the files in the order the station does: the cameras in turn.
    QStringList interleaved;
    for (int i = 0; i < set.names[0].size(); ++i)
        interleaved << set.names[0][i] << set.names[1][i];

    const int rounds = optionRuns(argc, argv);
    std::vector<double> ratios, times, cpus, kernelCpus, baselineTimes, baselineCpus,
        baselineKernelCpus;
    bool complete = true;
    int64_t datafiles = 0;
    int64_t datafileBytes = 0;
    // Station and baseline take turns, so that both meet the disk in the same moods.
    for (int round = 0; round < rounds; ++round) {
        benchStation run(root, SYNC_TIME);
        run.synchronise();
        // Fresh copies of the files, as the cameras deliver them: just arrived, not yet
        // written back from the cache.
        for (int c = 0; c < 2; ++c)
            copyInto(source, set.names[c], run.inputDir(c + 1));
        run.recordedUntil(set.endLine);
        double started = monotonicSeconds();
        double cpuStarted = cpuSeconds();
        double kernelStarted = kernelCpuSeconds();
        int written = run.pollAndProcess();
        times.push_back(monotonicSeconds() - started);
        cpus.push_back(cpuSeconds() - cpuStarted);
        kernelCpus.push_back(kernelCpuSeconds() - kernelStarted);

        int64_t frames = 0;
        complete =
            countDatafileFrames(run.outputDir(), &frames, &datafiles, &datafileBytes) && complete;
        int64_t waiting = int64_t(run.writer().paired().size() + run.camera(1).queue().size() +
                                  run.camera(2).queue().size());
        complete = complete && datafiles == written && frames + waiting == set.frames;
        std::vector<int64_t> sizes;
        QDir out(run.outputDir());
        for (const QString& name : out.entryList(QDir::Files, QDir::Name))
            sizes.push_back(QFileInfo(out.filePath(name)).size());

        const QString copies = run.inputDir(1);
        for (int c = 0; c < 2; ++c)
            copyInto(source, set.names[c], copies);
        cpuStarted = cpuSeconds();
        kernelStarted = kernelCpuSeconds();
        baselineTimes.push_back(runBaseline(copies, baselineWork, interleaved, sizes, baselineOut));
        baselineCpus.push_back(cpuSeconds() - cpuStarted);
        baselineKernelCpus.push_back(kernelCpuSeconds() - kernelStarted);
        ratios.push_back(times.back() / baselineTimes.back());
        emptyDirectory(baselineOut);
    }
    complete = complete && stationErrors() == 0;
    const runSpread ratio = spreadOf(ratios);
    const bool pass = printResult(
        "pipeline", format("%s x baseline", formatSpread(ratio, "%.2f").c_str()),
        format("<= %.1f x baseline", TARGET_RATIO), complete, ratio.median <= TARGET_RATIO);
    printNote(format("%.0f MB in %lld transfer files, %lld frames -> %lld datafiles of %.0f MB; "
                     "median (min-max) of %d rounds%s",
                     double(set.bytes) / 1e6,
                     (long long)(set.names[0].size() + set.names[1].size()), (long long)set.frames,
                     (long long)datafiles, double(datafileBytes) / 1e6, rounds,
                     complete ? "" : "; FRAMES LOST OR ERRORS"));
    printNote(format("seconds: station %s, baseline %s",
                     formatSpread(spreadOf(times), "%.2f").c_str(),
                     formatSpread(spreadOf(baselineTimes), "%.2f").c_str()));
    printNote(format("CPU-s: station %s, baseline %s; of that in the kernel: station %s, "
                     "baseline %s",
                     formatSpread(spreadOf(cpus), "%.2f").c_str(),
                     formatSpread(spreadOf(baselineCpus), "%.2f").c_str(),
                     formatSpread(spreadOf(kernelCpus), "%.2f").c_str(),
                     formatSpread(spreadOf(baselineKernelCpus), "%.2f").c_str()));
    return pass ? 0 : 1;
}
