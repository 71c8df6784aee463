// How often each pixel of the capture window was in shadow, counted straight from a frame's
// run-length codes: every line adds its segments to a difference array, a repeat code adds
// the previous line again, and no line is ever built. The day view counts a day of frames so.
#pragma once

#include "format/datafileReader.h"

#include <cstdint>
#include <vector>

class shadowTally {
public:
    // Counts pixels 0 .. `window` - 1; shadow beyond the window is not counted.
    explicit shadowTally(int window);

    // Adds the lines of the frame data of `entry` (from readDatafile over the same bytes) to
    // `difference`: `window` + 1 values, the shadowed lines of a pixel less those of the pixel
    // before. False, adding nothing, when the frame does not decode.
    bool addFrame(const uint8_t* bytes, size_t size, const datafileEntry& entry,
                  int64_t* difference);
    int window() const { return m_window; }

private:
    // Adds each line `sign` times (1, or -1 to take back what a failed walk added: the walk
    // fails again at the same code).
    template <int sign>
    bool walk(const uint8_t* payload, size_t size, const rleFrameHeader& header,
              int64_t* difference);

    int m_window;
    // The line being read and the one before it, for repeat codes.
    std::vector<shadowSegment> m_lines[2];
    // A payload with the bytes after it that a code load may touch.
    std::vector<uint8_t> m_padded;
};

// The shadowed lines of each of `window` pixels from their `difference` (window + 1 values).
void addShadowCounts(const int64_t* difference, int window, int64_t* counts);
