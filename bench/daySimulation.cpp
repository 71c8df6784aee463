#include "daySimulation.h"

#include "dropShadows.h"
#include "rainModel.h"

#include <QDir>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace {

// Seconds of transfer files written before the station reads them.
const int BATCH_SECONDS = 60;
// Seconds from one synchronisation to the next.
const int SYNC_SECONDS = 3600;

cameraView viewOf(int camera, double start) {
    cameraParams params;
    resetCameraParams(&params);
    // Camera B's light plane lies below camera A's: it sees the same drops a little later.
    double depth =
        camera == 1
            ? 0.0
            : (double(params.planeBackLeft) + params.planeBackRight + params.planeFrontRight) / 3.0;
    return cameraView{start, params.lineFrequency, params.width, params.camA.xscale, depth};
}

// The lines of one second with the dirty spot on every one and the drops' chords over it.
int dirtyFrames(const rainModel& rain, const cameraView& view, uint64_t from, uint64_t to,
                shadowSegment spot, uint16_t syncId, std::vector<frameBytes>* frames) {
    std::vector<shadowLine> lines(size_t(to - from), shadowLine{spot});
    for (const dropShadow& s : shadowsBetween(rain, view, from, to)) {
        for (uint32_t k = 0; k < s.numLines; ++k) {
            int64_t line = s.firstLine + k;
            if (line < int64_t(from) || line >= int64_t(to))
                continue;
            shadowLine& l = lines[size_t(line - int64_t(from))];
            l.push_back(shadowChord(s, k));
            std::sort(l.begin(), l.end(), [](const shadowSegment& a, const shadowSegment& b) {
                return a.start < b.start;
            });
            shadowLine merged;
            for (const shadowSegment& seg : l) {
                if (!merged.empty() && seg.start <= merged.back().start + merged.back().length) {
                    int end = std::max(merged.back().start + merged.back().length,
                                       seg.start + seg.length);
                    merged.back().length = uint16_t(end - merged.back().start);
                } else {
                    merged.push_back(seg);
                }
            }
            l.swap(merged);
        }
    }
    return encodeRleFrames(lines, syncId, from, frames);
}

} // namespace

int simulateDay(benchStation* station, const daySimulation& day) {
    uint16_t syncId = station->synchronise();
    // Lines of the day before the current synchronisation: its line counters start there.
    uint64_t syncLine = 0;
    std::map<double, std::unique_ptr<rainModel>> models;
    std::map<std::pair<double, int>, std::vector<frameBytes>> distinct[2];
    int written = 0;
    for (int s = 0; s < day.seconds; ++s) {
        double drops = day.dropsPerSecond ? day.dropsPerSecond(s) : RAIN_LIGHT;
        std::unique_ptr<rainModel>& rain = models[drops];
        if (!rain)
            rain = std::make_unique<rainModel>(day.seed, drops);
        uint64_t first = uint64_t(s) * LINES_PER_SECOND;
        // The station resynchronises every full hour; the station refuses frames of a
        // synchronisation more than an hour old.
        if (s > 0 && s % SYNC_SECONDS == 0) {
            station->clock().set(day.start + s);
            syncId = station->synchronise();
            syncLine = first;
        }
        for (int camera = 1; camera <= 2; ++camera) {
            cameraView view = viewOf(camera, day.start);
            std::vector<frameBytes> frames;
            bool dirty = camera == 1 && s >= day.dirtyFrom && s < day.dirtyTo;
            if (dirty) {
                if (dirtyFrames(*rain, view, first, first + LINES_PER_SECOND, day.dirtySpot, syncId,
                                &frames) != 0)
                    std::abort();
            } else if (day.distinctSeconds > 0) {
                // Rain of one of the first seconds again, moved to this second's lines.
                int source = s % day.distinctSeconds;
                std::vector<frameBytes>& cached = distinct[camera - 1][{drops, source}];
                if (cached.empty() &&
                    rainFrames(*rain, view, uint64_t(source) * LINES_PER_SECOND,
                               uint64_t(source + 1) * LINES_PER_SECOND, syncId, &cached) != 0)
                    std::abort();
                frames = cached;
                for (frameBytes& frame : frames) {
                    uint64_t line;
                    std::memcpy(&line, frame.data() + 6, 8);
                    placeFrame(&frame, syncId, line + uint64_t(s - source) * LINES_PER_SECOND);
                }
            } else if (rainFrames(*rain, view, first, first + LINES_PER_SECOND, syncId, &frames) !=
                       0) {
                std::abort();
            }
            // Lines of the day become line counters of the current synchronisation.
            for (frameBytes& frame : frames) {
                uint64_t line;
                std::memcpy(&line, frame.data() + 6, 8);
                placeFrame(&frame, syncId, line - syncLine);
            }
            QByteArray file = transferFile(camera, syncId, first - syncLine, frames,
                                           first - syncLine + LINES_PER_SECOND);
            if (!writeWhole(station->inputDir(camera) + "/" + transferName(camera, s), file))
                std::abort();
        }
        if ((s + 1) % BATCH_SECONDS == 0 || s + 1 == day.seconds) {
            // The station reads the batch once its last second has passed: it refuses frames
            // far ahead of its clock.
            station->clock().set(day.start + s + 1);
            written += station->pollAndProcess();
        }
    }
    return written;
}
