// Frame rate: small frames of both cameras (one to three lines each) through the reader,
// pairing and the datafile writer, 150,000 frames to a 3-second interval, so that every
// datafile still fits the writer's 4 MiB buffer. The instrument's worst case is about
// 110,000 frames a second; the station must keep up with five times that. The station clock
// moves with the data: each second's files are read once their lines were recorded.
// "--smoke": one run of a few seconds.
#include "benchSupport.h"
#include "runSpread.h"

#include "format/rleCodec.h"
#include "input/transferFile.h"

#include <QDir>

#include <cstdlib>

namespace {

const double TARGET_FRAMES_PER_SECOND = 550000.0;
// Frames of one camera in one second: 75,000 per camera and interval.
const int FRAMES_PER_CAMERA_SECOND = 25000;
const int SECONDS = 45;
// A smoke run: 12 intervals, beyond how far ahead of its clock the station takes frames.
const int SMOKE_SECONDS = 36;
// Distinct frames per line count; frames are copied from them and placed in time.
const int POOL = 64;
const double SYNC_TIME = 1717243200.0; // a multiple of 3 s, so that intervals hold whole seconds

// Frames of `lines` lines with one or two drops in every line.
std::vector<frameBytes> framePool(int camera, uint32_t lines) {
    std::vector<frameBytes> pool;
    for (int k = 0; k < POOL; ++k) {
        std::vector<shadowLine> content;
        for (uint32_t i = 0; i < lines; ++i) {
            uint16_t start = uint16_t(20 + (k * 37 + int(i) * 5 + camera * 11) % 560);
            shadowLine line{{start, uint16_t(2 + (k + int(i)) % 7)}};
            if (k % 4 == 1)
                line.push_back(shadowSegment{uint16_t(start + 30), 3});
            content.push_back(line);
        }
        frameBytes frame;
        if (encodeRleFrame(content, 0, 0, &frame) != 0)
            std::abort();
        pool.push_back(frame);
    }
    return pool;
}

struct rateRun {
    double rate = 0.0; // frames a second
    double elapsed = 0.0;
    double cpu = 0.0;
    int64_t frames = 0;
    int64_t waiting = 0;
    int written = 0;
    int64_t bytes = 0;
    bool complete = false;
};

// One run of `seconds` seconds of frames in a station of its own.
rateRun runOnce(const QString& root, int seconds) {
    benchStation station(root, SYNC_TIME);
    const uint16_t syncId = station.synchronise();

    // Transfer files: one per camera and second, as the cameras deliver them.
    std::vector<frameBytes> pools[2][3];
    for (int c = 0; c < 2; ++c)
        for (uint32_t lines = 1; lines <= 3; ++lines)
            pools[c][lines - 1] = framePool(c + 1, lines);
    const QString files = station.path() + QStringLiteral("/files");
    QDir().mkpath(files);
    int64_t framesSent = 0;
    for (int s = 0; s < seconds; ++s) {
        for (int c = 0; c < 2; ++c) {
            std::vector<frameBytes> frames;
            uint64_t first = uint64_t(s) * LINES_PER_SECOND;
            for (int k = 0; k < FRAMES_PER_CAMERA_SECOND; ++k) {
                uint64_t start = first + uint64_t(k) * LINES_PER_SECOND / FRAMES_PER_CAMERA_SECOND;
                uint64_t next =
                    first + uint64_t(k + 1) * LINES_PER_SECOND / FRAMES_PER_CAMERA_SECOND;
                uint32_t lines = 1 + uint32_t(k % 3);
                if (lines > next - start)
                    lines = uint32_t(next - start);
                frames.push_back(pools[c][lines - 1][size_t(k) % POOL]);
                placeFrame(&frames.back(), syncId, start);
            }
            framesSent += int64_t(frames.size());
            writeWhole(files + "/" + transferName(c + 1, s),
                       transferFile(c + 1, syncId, first, frames, first + LINES_PER_SECOND));
        }
    }

    cameraQueue& queueA = station.camera(1).queue();
    cameraQueue& queueB = station.camera(2).queue();
    datafileWriter& writer = station.writer();
    bool readAll = true;
    int written = 0;
    double started = monotonicSeconds();
    double cpuStarted = cpuSeconds();
    for (int s = 0; s < seconds; ++s) {
        station.recordedUntil(uint64_t(s + 1) * LINES_PER_SECOND);
        readAll =
            readTransferFile(queueA, files + "/" + transferName(1, s), station.syncs()) && readAll;
        readAll =
            readTransferFile(queueB, files + "/" + transferName(2, s), station.syncs()) && readAll;
        if (writer.pairFrames(queueA, queueB))
            while (writer.writeNextDatafile())
                ++written;
    }
    double elapsed = monotonicSeconds() - started;
    double cpu = cpuSeconds() - cpuStarted;

    rateRun run;
    int64_t files64 = 0;
    bool readable = countDatafileFrames(station.outputDir(), &run.frames, &files64, &run.bytes);
    run.waiting = int64_t(writer.paired().size() + queueA.size() + queueB.size());
    // Every frame sent is in a datafile or still waiting for its interval to close.
    run.complete = readAll && readable && run.frames + run.waiting == framesSent &&
                   files64 == written && stationErrors() == 0;
    run.rate = double(run.frames) / elapsed;
    run.elapsed = elapsed;
    run.cpu = cpu;
    run.written = written;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const bool smoke = optionSmoke(argc, argv);
    const int runs = optionRuns(argc, argv);
    separateResults(optionMessages(argc, argv));
    std::vector<double> rates, seconds, cpus;
    rateRun run;
    bool complete = true;
    for (int i = 0; i < runs; ++i) {
        run = runOnce(root, smoke ? SMOKE_SECONDS : SECONDS);
        complete = complete && run.complete;
        rates.push_back(run.rate / 1e6);
        seconds.push_back(run.elapsed);
        cpus.push_back(run.cpu);
    }
    const runSpread rate = spreadOf(rates);
    const bool pass =
        printResult("framerate", format("%s million frames/s", formatSpread(rate, "%.2f").c_str()),
                    format(">= %.0f frames/s", TARGET_FRAMES_PER_SECOND), complete,
                    rate.median * 1e6 >= TARGET_FRAMES_PER_SECOND);
    printNote(format("%lld frames in %d datafiles (%.1f MB), %lld still queued; median (min-max) "
                     "of %d runs: %s s, cpu %s s%s",
                     (long long)run.frames, run.written, double(run.bytes) / 1e6,
                     (long long)run.waiting, runs, formatSpread(spreadOf(seconds), "%.2f").c_str(),
                     formatSpread(spreadOf(cpus), "%.2f").c_str(),
                     complete ? "" : "; FRAMES LOST OR ERRORS"));
    return pass ? 0 : 1;
}
