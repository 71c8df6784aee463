// The day view: one picture of a day of a station, local time across. From the top: frames
// per minute of camera A and B, their ratio A/B where both saw rain, each camera's shadow
// occupancy of every pixel per minute (a dirty window or a stuck pixel is a stripe) with the
// day's occupancy beside it, per minute the share of intervals present with those missing
// while the station ran, damaged, and of times it did not run, each camera's frames and its
// outages while the other camera saw rain, and the day's synchronisations from the sync list.
// Under it the legend. A window of the day (--from, --to) is drawn across the same width.
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
    DAY_FIRST_HEAT = 16, // DAY_HEAT_LEVELS colours from no shadow to always shadow
    DAY_NOT_RUNNING = 80,
    DAY_CAMERA_OUT = 81,
    DAY_NO_RAIN = 82
};
const int DAY_HEAT_LEVELS = 64;

// Where the panels lie, for the checks of what is drawn in them.
struct dayLayout {
    int plotLeft;
    int plotWidth;   // DAY_MINUTES columns, whatever the window
    int firstMinute; // the window drawn: minutes [firstMinute, firstMinute + minutes)
    int minutes;
    int occupancyTop[2];
    int occupancyHeight;
    int pixelsPerRow; // capture window pixels per row of an occupancy panel
    int stateTop;     // the strip of intervals present, missing, damaged, not running
    int cameraTop[2]; // the strips of each camera's frames and outages
    int syncTop;      // the strip of synchronisations
    int stripHeight;

    // The first column of `minute` of the day, and the columns it spans (at least 1).
    int columnOf(int minute) const;
    int columnsOf(int minute) const;
};

// The whole day, or the `minutes` from `firstMinute` on across the same width.
raster drawDay(const dayFigures& day, dayLayout* layout, int firstMinute = 0,
               int minutes = DAY_MINUTES);

// The colour of an occupancy (0 .. 1) in the occupancy panels.
uint8_t heatColour(double occupancy);
