// Memory: 24 hours of station time in station order. Both cameras send every line, in frames
// of 1536 lines, one transfer file a second; the lines are mostly dry, with a shower every
// hour (light, heavy, moderate rain from the camera simulator's drops). Every hour a new
// synchronisation as the run loop makes them; every 3 seconds a poll of both cameras, the
// processing of their files, pairing and datafiles, as the run loop does it. The resident
// memory after the first hour and its peak over the day are compared: nothing may grow with
// the day, and the peak must stay within a small station computer's means. "--smoke": the two
// hours around midnight, once.
#include "benchSupport.h"
#include "runSpread.h"

#include "dropShadows.h"
#include "rainModel.h"

#include "format/rleCodec.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>
#include <malloc.h>

namespace {

const long TARGET_PEAK_KIB = 64 * 1024;
const double TARGET_GROWTH = 1.10;
const int HOURS = 24;
const double START = 1717243200.25; // 12:00 UTC: the day changes half way
// A smoke run: 23:00 to 01:00 UTC, a new synchronisation and a new day in it.
const int SMOKE_HOURS = 2;
const double SMOKE_START = START + 11 * 3600.0;
const int POLL_SECONDS = 3;
// The last seconds of every hour carry no frames: the cameras are being resynchronised.
const int RESYNC_GAP = 6;
// Distinct frames of each kind of rain; the day is made of copies placed in time.
const int POOL = 48;

enum weather { DRY, LIGHT, HEAVY, MODERATE };

// A shower in the middle of every hour: light, heavy, moderate rain, 4 minutes each.
weather weatherAt(int secondOfHour) {
    int minute = secondOfHour / 60;
    if (minute < 20 || minute >= 32)
        return DRY;
    return minute < 24 ? LIGHT : minute < 28 ? HEAVY : MODERATE;
}

// Sorts the segments of a line and joins those that overlap or touch.
void joinSegments(shadowLine* line) {
    std::sort(line->begin(), line->end(),
              [](const shadowSegment& a, const shadowSegment& b) { return a.start < b.start; });
    shadowLine joined;
    for (const shadowSegment& next : *line) {
        if (!joined.empty() && next.start <= joined.back().start + joined.back().length) {
            int end =
                std::max(joined.back().start + joined.back().length, next.start + next.length);
            joined.back().length = uint16_t(end - joined.back().start);
        } else {
            joined.push_back(next);
        }
    }
    line->swap(joined);
}

// The frames of RLE_MAX_LINES lines of camera `camera` in rain of `dropsPerSecond`, each entry
// the frames one stretch of lines needs (more than one when a frame would be too large).
std::vector<std::vector<frameBytes>> framePool(int camera, double dropsPerSecond) {
    cameraParams params;
    resetCameraParams(&params);
    double depth = camera == 1 ? 0.0 : double(params.planeBackLeft);
    cameraView view{0.0, params.lineFrequency, params.width, params.camA.xscale, depth};
    rainModel rain(11, dropsPerSecond);
    std::vector<std::vector<frameBytes>> pool;
    for (int k = 0; k < POOL; ++k) {
        uint64_t from = uint64_t(k) * 7 * RLE_MAX_LINES;
        std::vector<shadowLine> lines(RLE_MAX_LINES);
        if (dropsPerSecond > 0.0) {
            for (const dropShadow& shadow :
                 shadowsBetween(rain, view, from, from + RLE_MAX_LINES)) {
                for (uint32_t i = 0; i < shadow.numLines; ++i) {
                    int64_t line = shadow.firstLine + int64_t(i) - int64_t(from);
                    if (line >= 0 && line < int64_t(RLE_MAX_LINES))
                        lines[size_t(line)].push_back(shadowChord(shadow, i));
                }
            }
            for (shadowLine& line : lines)
                joinSegments(&line);
        }
        std::vector<frameBytes> frames;
        if (encodeRleFrames(lines, 0, 0, &frames) != 0)
            std::abort();
        pool.push_back(frames);
        if (dropsPerSecond <= 0.0)
            break; // every dry stretch is the same
    }
    return pool;
}

struct day {
    std::vector<std::vector<frameBytes>> pools[2][4];
    int64_t framesSent = 0;
    int64_t filesSent = 0;
};

// The transfer file of camera `camera` for second `second` of the hour: the stretches of
// RLE_MAX_LINES lines that start in it.
void deliverSecond(benchStation& station, day& d, int camera, uint16_t syncId, int second,
                   int64_t fileIndex) {
    const uint64_t first = uint64_t(second) * LINES_PER_SECOND;
    const uint64_t end = first + LINES_PER_SECOND;
    uint64_t stretch = (first + RLE_MAX_LINES - 1) / RLE_MAX_LINES;
    const auto& pool = d.pools[camera - 1][weatherAt(second)];
    std::vector<frameBytes> frames;
    for (; stretch * RLE_MAX_LINES < end; ++stretch) {
        const std::vector<frameBytes>& source = pool[size_t(stretch) % pool.size()];
        uint64_t line = stretch * RLE_MAX_LINES;
        for (const frameBytes& frame : source) {
            frames.push_back(frame);
            uint64_t offset;
            std::memcpy(&offset, frame.data() + 6, 8);
            placeFrame(&frames.back(), syncId, line + offset);
        }
    }
    d.framesSent += int64_t(frames.size());
    ++d.filesSent;
    writeWhole(station.inputDir(camera) + "/" + transferName(camera, fileIndex),
               transferFile(camera, syncId, first, frames, end));
}

struct dayRun {
    long rssHour1 = 0, peak = 0, rssEnd = 0; // KiB
    double growth = 0.0;
    double elapsed = 0.0;
    bool complete = false;
};

// One day in a station of its own. The peak resident memory is counted from its start: the
// kernel's high-water mark is reset, and what earlier runs let go of is given back first.
dayRun runDay(const QString& root, day& d, double start, int hours) {
    malloc_trim(0);
    if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
    d.framesSent = 0;
    d.filesSent = 0;
    dayRun run;
    benchStation station(root, start);
    int64_t framesWritten = 0;
    int64_t fileIndex = 0;
    bool readable = true;
    double started = monotonicSeconds();
    for (int hour = 0; hour < hours; ++hour) {
        station.clock().set(start + hour * 3600.0);
        const uint16_t syncId = station.synchronise();
        for (int second = 0; second < 3600; second += POLL_SECONDS) {
            for (int s = second; s < second + POLL_SECONDS && s < 3600 - RESYNC_GAP; ++s) {
                ++fileIndex;
                deliverSecond(station, d, 1, syncId, s, fileIndex);
                deliverSecond(station, d, 2, syncId, s, fileIndex);
            }
            station.clock().advance(POLL_SECONDS);
            station.pollAndProcess();
            int64_t frames = 0, files = 0, bytes = 0;
            readable =
                countDatafileFrames(station.outputDir(), &frames, &files, &bytes, true) && readable;
            framesWritten += frames;
        }
        if (hour == 0) {
            run.rssHour1 = residentKiB("VmRSS");
        }
    }
    run.elapsed = monotonicSeconds() - started;
    run.peak = residentKiB("VmHWM");
    run.rssEnd = residentKiB("VmRSS");

    int64_t waiting = int64_t(station.writer().paired().size() + station.camera(1).queue().size() +
                              station.camera(2).queue().size());
    run.complete = readable && framesWritten + waiting == d.framesSent && stationErrors() == 0;
    run.growth = double(run.peak) / double(run.rssHour1);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QString fallback =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    const QString root = optionValue(argc, argv, "--dir", fallback);
    setenv("TZ", "UTC", 1);
    tzset();
    const bool smoke = optionSmoke(argc, argv);
    separateResults(optionMessages(argc, argv));

    day d;
    const double rates[4] = {0.0, RAIN_LIGHT * 30, RAIN_HEAVY, RAIN_HEAVY / 4};
    for (int camera = 1; camera <= 2; ++camera)
        for (int w = 0; w < 4; ++w)
            d.pools[camera - 1][w] = framePool(camera, rates[w]);

    const int runs = optionRuns(argc, argv);
    const int hours = smoke ? SMOKE_HOURS : HOURS;
    std::vector<double> peaks, growths, hour1, ends, seconds;
    bool complete = true;
    for (int i = 0; i < runs; ++i) {
        const dayRun run = runDay(root, d, smoke ? SMOKE_START : START, hours);
        complete = complete && run.complete;
        peaks.push_back(run.peak / 1024.0);
        growths.push_back(run.growth);
        hour1.push_back(run.rssHour1 / 1024.0);
        ends.push_back(run.rssEnd / 1024.0);
        seconds.push_back(run.elapsed);
    }
    const runSpread peak = spreadOf(peaks);
    const runSpread growth = spreadOf(growths);
    const bool pass =
        printResult("memory",
                    format("peak %s MiB, %s x hour 1", formatSpread(peak, "%.1f").c_str(),
                           formatSpread(growth, "%.2f").c_str()),
                    format("<= 64 MiB, <= %.2f x hour 1", TARGET_GROWTH), complete,
                    peak.median <= TARGET_PEAK_KIB / 1024.0 && growth.median <= TARGET_GROWTH);
    printNote(format("%lld frames in %lld transfer files over %d h (%s s), median (min-max) of %d "
                     "runs: resident %s MiB after hour 1, %s MiB at the end%s",
                     (long long)d.framesSent, (long long)d.filesSent, hours,
                     formatSpread(spreadOf(seconds), "%.0f").c_str(), runs,
                     formatSpread(spreadOf(hour1), "%.1f").c_str(),
                     formatSpread(spreadOf(ends), "%.1f").c_str(),
                     complete ? "" : "; FRAMES LOST OR ERRORS"));
    return pass ? 0 : 1;
}
