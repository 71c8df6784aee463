// The picture of video.dat: one file as two charts, the raw and the normalised video line,
// camera A and B over the 1200 pixels; a series of copies as four bands, raw and normalised
// of each camera, one row of grey levels per copy from top (first) to bottom (last), so that
// a window growing dirty or a lamp growing weak shows as a change down the band.
#pragma once

#include "kiv_inspect/chartDrawing.h"
#include "kiv_inspect/raster.h"
#include "kiv_inspect/videoDat.h"

#include <vector>

enum videoColour : uint8_t {
    VIDEO_BACKGROUND = CHART_BACKGROUND,
    VIDEO_TEXT = CHART_TEXT,
    VIDEO_CAMERA_A = CHART_CAMERA_A,
    VIDEO_CAMERA_B = CHART_CAMERA_B,
    VIDEO_FIRST_GREY = 6 // VIDEO_GREYS levels from 0 (black) to 255 (white)
};
const int VIDEO_GREYS = 64;

struct videoLayout {
    int left;        // x of pixel 0 of a line
    int chartTop[2]; // raw and normalised charts (one file)
    int chartHeight;
    int bandTop[4]; // raw A, raw B, norm A, norm B (a series)
    int rowsPerCopy;
};

// Draws readable video.dat files: a chart of one, bands of several.
raster drawVideoPlot(const std::vector<videoDatReport>& files, videoLayout* layout);
