// The day view: one picture of a day of a station, local time across. From the top: frames
// per minute of camera A and B, their ratio A/B where both saw rain, each camera's shadow
// occupancy of every pixel per minute (a dirty window or a stuck pixel is a stripe) with the
// day's occupancy beside it, the intervals present, missing and damaged, and the day's
// synchronisations from the sync list. Under it the legend.
#pragma once

#include "kiv_inspect/chartDrawing.h"
#include "kiv_inspect/dayFigures.h"
#include "kiv_inspect/raster.h"

// Palette indices of the day view that its checks look for.
enum dayColour : uint8_t {
    DAY_BACKGROUND = CHART_BACKGROUND,
    DAY_TEXT = CHART_TEXT,
    DAY_CAMERA_A = CHART_CAMERA_A,
    DAY_CAMERA_B = CHART_CAMERA_B,
    DAY_RATIO = 6,
    DAY_MISSING = 8,
    DAY_DAMAGED = 9,
    DAY_PRESENT = 10,
    DAY_FUTURE = 11,
    DAY_NO_DATA = 12,
    DAY_PLANNED = 13,
    DAY_UNPLANNED = 14,
    DAY_RESTART = 15,
    DAY_FIRST_HEAT = 16 // DAY_HEAT_LEVELS colours from no shadow to always shadow
};
const int DAY_HEAT_LEVELS = 64;

// Where the panels lie, for the checks of what is drawn in them.
struct dayLayout {
    int plotLeft;
    int plotWidth; // one column per minute
    int occupancyTop[2];
    int occupancyHeight;
    int pixelsPerRow; // capture window pixels per row of an occupancy panel
    int stateTop;     // the strip of intervals present, missing, damaged
    int syncTop;      // the strip of synchronisations
    int stripHeight;
};

raster drawDay(const dayFigures& day, dayLayout* layout);

// The colour of an occupancy (0 .. 1) in the occupancy panels.
uint8_t heatColour(double occupancy);
