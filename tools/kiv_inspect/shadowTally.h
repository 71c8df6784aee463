// How often each pixel of the capture window was in shadow, counted straight from a frame's
// run-length codes: every line adds its segments to a difference array, a repeat code adds
// the previous line again, and no line is ever built. The day view counts a day of frames so.
#pragma once

#include "output/datafileReader.h"

#include <cstdint>
#include <vector>

class shadowTally {
public:
    // Counts pixels 0 .. `window` - 1; shadow beyond the window is not counted.
    explicit shadowTally(int window);

    // Adds the lines of the frame data of `entry` (from readDatafile over the same bytes).
    // False, adding nothing, when the frame does not decode.
    bool addFrame(const uint8_t* bytes, size_t size, const datafileEntry& entry);

    // Shadowed lines of each pixel so far added into `counts` (`window` values), and cleared.
    void moveInto(int64_t* counts);
    int window() const { return m_window; }

private:
    bool walk(const uint8_t* payload, size_t size, const rleFrameHeader& header);
    void addLine(const std::vector<shadowSegment>& line, int64_t times);

    int m_window;
    std::vector<int64_t> m_difference; // shadowed lines, difference from pixel to pixel
    std::vector<int64_t> m_frame;      // the current frame's, until it has decoded whole
    std::vector<shadowSegment> m_line;
    std::vector<shadowSegment> m_previous;
};
