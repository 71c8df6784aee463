#include "dropShadows.h"

#include <algorithm>
#include <cmath>

namespace {

// Longest time a drop needs to reach a camera's plane and cross it, seconds: drops found
// this long before a stretch of lines may still shade it.
const double DROP_LOOKBACK = 0.05;

double lineTime(const cameraView& view, uint64_t line) {
    return view.measureStart + double(line) / view.lineFrequency;
}

// Sorts the segments of a line and joins those that overlap or touch: two drops side by side
// cast one shadow.
void joinSegments(shadowLine* line) {
    if (line->size() < 2)
        return;
    std::sort(line->begin(), line->end(),
              [](const shadowSegment& a, const shadowSegment& b) { return a.start < b.start; });
    shadowLine joined;
    joined.push_back(line->front());
    for (size_t i = 1; i < line->size(); ++i) {
        shadowSegment& last = joined.back();
        const shadowSegment& next = (*line)[i];
        int lastEnd = last.start + last.length;
        if (next.start <= lastEnd) {
            int nextEnd = next.start + next.length;
            if (nextEnd > lastEnd)
                last.length = uint16_t(nextEnd - last.start);
        } else {
            joined.push_back(next);
        }
    }
    line->swap(joined);
}

} // namespace

bool shadowOf(const rainDrop& drop, const cameraView& view, dropShadow* shadow) {
    if (view.width < 2 || view.xscale <= 0.0 || view.lineFrequency <= 0.0)
        return false;
    double speed = fallSpeed(drop.diameter);
    long width = std::lround(drop.diameter / view.xscale);
    long widest = std::min<long>(SHADOW_MAX_WIDTH, long(view.width));
    width = std::max(2L, std::min(width, widest));
    double arrival = drop.time + view.planeDepth / 1000.0 / speed;
    long lines = std::lround(drop.diameter / 1000.0 / speed * view.lineFrequency);
    shadow->firstLine = int64_t(std::ceil((arrival - view.measureStart) * view.lineFrequency));
    shadow->numLines = uint32_t(std::max(1L, lines));
    shadow->width = uint16_t(width);
    shadow->left = uint16_t(std::floor(drop.position * double(view.width - uint32_t(width))));
    return true;
}

shadowSegment shadowChord(const dropShadow& shadow, uint32_t k) {
    double y = (2.0 * k + 1.0) / shadow.numLines - 1.0;
    long chord = std::lround(shadow.width * std::sqrt(std::max(0.0, 1.0 - y * y)));
    chord = std::max(1L, chord);
    // Centred on the widest line; twice the centre keeps it whole.
    long twiceCentre = 2L * shadow.left + shadow.width;
    return shadowSegment{uint16_t((twiceCentre - chord) / 2), uint16_t(chord)};
}

std::vector<dropShadow> shadowsBetween(const rainModel& rain, const cameraView& view,
                                       uint64_t fromLine, uint64_t toLine) {
    std::vector<dropShadow> shadows;
    if (toLine <= fromLine)
        return shadows;
    double from = lineTime(view, fromLine) - DROP_LOOKBACK;
    double to = lineTime(view, toLine);
    for (const rainDrop& drop : rain.dropsBetween(from, to)) {
        dropShadow shadow;
        if (!shadowOf(drop, view, &shadow))
            continue;
        int64_t end = shadow.firstLine + int64_t(shadow.numLines);
        if (end > int64_t(fromLine) && shadow.firstLine < int64_t(toLine))
            shadows.push_back(shadow);
    }
    std::stable_sort(shadows.begin(), shadows.end(), [](const dropShadow& a, const dropShadow& b) {
        return a.firstLine < b.firstLine;
    });
    return shadows;
}

int rainFrames(const rainModel& rain, const cameraView& view, uint64_t fromLine, uint64_t toLine,
               uint16_t syncId, std::vector<frameBytes>* frames) {
    frames->clear();
    std::vector<dropShadow> shadows = shadowsBetween(rain, view, fromLine, toLine);
    size_t next = 0;
    while (next < shadows.size()) {
        // A stretch: shadows that overlap or follow each other without a dry line between.
        int64_t first = std::max(shadows[next].firstLine, int64_t(fromLine));
        int64_t end = first;
        size_t last = next;
        while (last < shadows.size() && shadows[last].firstLine <= end) {
            end = std::max(end, shadows[last].firstLine + int64_t(shadows[last].numLines));
            ++last;
        }
        end = std::min(end, int64_t(toLine));

        std::vector<shadowLine> lines(size_t(end - first));
        for (size_t i = next; i < last; ++i) {
            const dropShadow& shadow = shadows[i];
            for (uint32_t k = 0; k < shadow.numLines; ++k) {
                int64_t line = shadow.firstLine + int64_t(k);
                if (line >= first && line < end)
                    lines[size_t(line - first)].push_back(shadowChord(shadow, k));
            }
        }
        for (shadowLine& line : lines)
            joinSegments(&line);

        std::vector<frameBytes> stretch;
        if (encodeRleFrames(lines, syncId, uint64_t(first), &stretch) != 0) {
            frames->clear();
            return -1;
        }
        frames->insert(frames->end(), stretch.begin(), stretch.end());
        next = last;
    }
    return 0;
}
