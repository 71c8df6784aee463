// What the inspector's charts share: a plot area with its value axis, grid lines and tick
// labels, text in the caption font, and a legend of colour swatches. Colours are palette
// indices of the raster the chart is drawn into.
#pragma once

#include "kiv_inspect/raster.h"

#include <QString>

#include <utility>
#include <vector>

// Font pixels are drawn as CHART_TEXT_SCALE x CHART_TEXT_SCALE: readable at 100 %.
const int CHART_TEXT_SCALE = 2;
const int CHART_TEXT_HEIGHT = 7 * CHART_TEXT_SCALE;

// The colours every chart begins its palette with, at these indices.
enum chartColour : uint8_t {
    CHART_BACKGROUND = 0,
    CHART_TEXT = 1,
    CHART_GRID = 2,
    CHART_FRAME = 3,
    CHART_CAMERA_A = 4,
    CHART_CAMERA_B = 5
};
std::vector<rgbColour> chartPalette();

struct plotArea {
    int left;
    int top;
    int width;
    int height;
    double low;  // value at the bottom edge
    double high; // value at the top edge

    // The row of `value`, clamped to the area.
    int yOf(double value) const;
};

struct chartColours {
    uint8_t text;
    uint8_t grid;
    uint8_t frame;
};

// A step of 1, 2 or 5 times a power of ten that divides 0 .. `high` into at most `ticks`.
double niceStep(double high, int ticks);
// The frame of `area`, grid lines and labels left of it every `step` from low to high,
// `decimals` after the point.
void drawValueAxis(raster* picture, const plotArea& area, double step, int decimals,
                   const chartColours& colours);
// The frame around `area`, one pixel outside it.
void drawFrame(raster* picture, const plotArea& area, uint8_t colour);
// `text` at (x, y) in the chart's text size; returns its width.
int drawText(raster* picture, int x, int y, const QString& text, uint8_t colour);
int textWidth(const QString& text);
// Swatches with their labels in a row from (x, y); returns the x after the last.
int drawLegend(raster* picture, int x, int y,
               const std::vector<std::pair<QString, uint8_t>>& entries, uint8_t textColour);
// A polyline through (x, value) points of `area`; a negative value breaks the line.
void drawSeries(raster* picture, const plotArea& area, const std::vector<double>& values,
                uint8_t colour);
