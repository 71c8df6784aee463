#include "kiv_inspect/dayPicture.h"

#include "kiv_inspect/chartDrawing.h"
#include "kiv_inspect/inspectTime.h"

#include <algorithm>
#include <cmath>

namespace {

const int MARGIN_LEFT = 110;
const int MARGIN_RIGHT = 30;
const int PROFILE_GAP = 20;
const int PROFILE_WIDTH = 160;
const int PANEL_GAP = 34; // room for a panel's title
const int FRAMES_HEIGHT = 180;
const int RATIO_HEIGHT = 120;
const int OCCUPANCY_ROWS = 160;
const int STRIP_HEIGHT = 24;
// Occupancies below this show as the faintest shade; the scale is logarithmic above it.
const double HEAT_FLOOR = 1e-5;
const uint8_t GRID = CHART_GRID;
const uint8_t FRAME = CHART_FRAME;
const uint8_t GAP_SHADE = 7;
const double RATIO_TOP = 2.0;

std::vector<rgbColour> dayPalette() {
    std::vector<rgbColour> p = {{255, 255, 255}, {20, 20, 20},    {225, 225, 225}, {90, 90, 90},
                                {31, 119, 180},  {255, 127, 14},  {44, 160, 44},   {255, 228, 228},
                                {214, 39, 40},   {255, 170, 0},   {120, 200, 120}, {238, 238, 238},
                                {190, 190, 200}, {150, 150, 150}, {148, 103, 189}, {200, 0, 80}};
    // From white through yellow, orange and red to near black.
    const rgbColour stops[] = {{255, 255, 255}, {255, 240, 160}, {253, 174, 70},
                               {227, 26, 28},   {128, 0, 38},    {30, 0, 10}};
    const int segments = int(sizeof stops / sizeof stops[0]) - 1;
    for (int i = 0; i < DAY_HEAT_LEVELS; ++i) {
        double t = double(i) / (DAY_HEAT_LEVELS - 1) * segments;
        int s = std::min(int(t), segments - 1);
        double f = t - s;
        auto mix = [&](uint8_t a, uint8_t b) { return uint8_t(std::lround(a + (b - a) * f)); };
        p.push_back({mix(stops[s].red, stops[s + 1].red), mix(stops[s].green, stops[s + 1].green),
                     mix(stops[s].blue, stops[s + 1].blue)});
    }
    return p;
}

const chartColours AXIS = {DAY_TEXT, GRID, FRAME};

// Position on the logarithmic occupancy scale, 0 at HEAT_FLOOR, 1 at 1.
double heatShare(double occupancy) {
    if (occupancy <= HEAT_FLOOR)
        return 0.0;
    return std::min(1.0, std::log10(occupancy / HEAT_FLOOR) / -std::log10(HEAT_FLOOR));
}

void drawHourAxis(raster* p, int left, int width, int y) {
    for (int hour = 0; hour <= 24; ++hour) {
        int x = left + hour * width / 24;
        p->fillRect(x, y, 1, hour % 3 ? 4 : 8, DAY_TEXT);
        if (hour % 3 == 0) {
            QString label = QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0'));
            drawText(p, x - textWidth(label) / 2, y + 12, label, DAY_TEXT);
        }
    }
}

void drawHourGrid(raster* p, int left, int width, int top, int height) {
    for (int hour = 1; hour < 24; ++hour)
        p->fillRect(left + hour * width / 24, top, 1, height, GRID);
}

// Light red behind the minutes with a missing interval.
void shadeGaps(raster* p, const dayFigures& day, int left, int top, int height) {
    for (int m = 0; m < DAY_MINUTES; ++m)
        for (int i = 0; i < INTERVALS_PER_MINUTE; ++i)
            if (day.intervals[size_t(m * INTERVALS_PER_MINUTE + i)] == INTERVAL_MISSING) {
                p->fillRect(left + m, top, 1, height, GAP_SHADE);
                break;
            }
}

QString percentText(double share) {
    double percent = share * 100;
    return QString::number(percent, 'g', 3) + QLatin1Char('%');
}

void drawTitle(raster* p, int y, const QString& text) {
    drawText(p, MARGIN_LEFT, y, text, DAY_TEXT);
}

int64_t maxOf(const std::vector<int64_t>& a, const std::vector<int64_t>& b) {
    return std::max(*std::max_element(a.begin(), a.end()), *std::max_element(b.begin(), b.end()));
}

std::vector<double> framesSeries(const dayFigures& day, int camera) {
    std::vector<double> values(DAY_MINUTES);
    for (int m = 0; m < DAY_MINUTES; ++m)
        values[size_t(m)] =
            day.present[size_t(m)] > 0 ? double(day.frames[camera][size_t(m)]) : -1.0;
    return values;
}

void drawOccupancy(raster* p, const dayFigures& day, int camera, const dayLayout& l) {
    const int top = l.occupancyTop[camera];
    const int rows = l.occupancyHeight;
    for (int m = 0; m < DAY_MINUTES; ++m) {
        for (int r = 0; r < rows; ++r) {
            uint8_t colour = DAY_NO_DATA;
            if (day.present[size_t(m)] > 0) {
                double most = 0.0;
                for (int x = r * l.pixelsPerRow; x < std::min((r + 1) * l.pixelsPerRow, day.window);
                     ++x)
                    most = std::max(most, day.occupancy(camera, m, x));
                colour = heatColour(most);
            }
            // Pixel 0 at the top, as in the interval pictures read from left to right.
            p->set(l.plotLeft + m, top + r, colour);
        }
    }
    drawFrame(p, plotArea{l.plotLeft, top, l.plotWidth, rows, 0, 1}, FRAME);
    for (int px = 0; px <= day.window; px += 100) {
        if (day.window - px < 40 && px != day.window)
            continue;
        QString label = QString::number(px);
        int y = top + px / l.pixelsPerRow;
        p->fillRect(l.plotLeft - 5, y, 4, 1, DAY_TEXT);
        drawText(p, l.plotLeft - 8 - textWidth(label), y - CHART_TEXT_HEIGHT / 2, label, DAY_TEXT);
    }
    // Beside it the day's occupancy of each row, on the same logarithmic scale.
    const int left = l.plotLeft + l.plotWidth + PROFILE_GAP;
    p->fillRect(left, top, PROFILE_WIDTH, rows, 11);
    for (int r = 0; r < rows; ++r) {
        double most = 0.0;
        for (int x = r * l.pixelsPerRow; x < std::min((r + 1) * l.pixelsPerRow, day.window); ++x)
            most = std::max(most, day.dayOccupancy(camera, x));
        int length = int(std::lround(heatShare(most) * PROFILE_WIDTH));
        p->fillRect(left, top + r, length, 1, heatColour(most));
    }
    drawFrame(p, plotArea{left, top, PROFILE_WIDTH, rows, 0, 1}, FRAME);
}

void drawStates(raster* p, const dayFigures& day, const dayLayout& l) {
    for (int m = 0; m < DAY_MINUTES; ++m) {
        // The worst interval of the minute colours it.
        uint8_t colour = DAY_PRESENT;
        for (int i = 0; i < INTERVALS_PER_MINUTE; ++i) {
            uint8_t s = day.intervals[size_t(m * INTERVALS_PER_MINUTE + i)];
            if (s == INTERVAL_MISSING)
                colour = DAY_MISSING;
            else if (s == INTERVAL_DAMAGED && colour != DAY_MISSING)
                colour = DAY_DAMAGED;
            else if (s == INTERVAL_FUTURE && colour == DAY_PRESENT)
                colour = DAY_FUTURE;
        }
        p->fillRect(l.plotLeft + m, l.stateTop, 1, l.stripHeight, colour);
    }
}

void drawSyncs(raster* p, const dayFigures& day, const dayLayout& l) {
    p->fillRect(l.plotLeft, l.syncTop, l.plotWidth, l.stripHeight, DAY_BACKGROUND);
    for (const syncEvent& e : day.syncList.events) {
        int x = l.plotLeft + int((e.localSecond - day.dayStart) / 60);
        uint8_t colour = e.kind == SYNC_PLANNED   ? DAY_PLANNED
                         : e.kind == SYNC_RESTART ? DAY_RESTART
                                                  : DAY_UNPLANNED;
        int height = e.kind == SYNC_PLANNED ? l.stripHeight / 2 : l.stripHeight;
        p->fillRect(x - 1, l.syncTop + l.stripHeight - height, 3, height, colour);
    }
    if (day.syncList.name.isEmpty())
        drawText(p, l.plotLeft + 8, l.syncTop + 5, QStringLiteral("NO SYNC LIST FOUND"), DAY_TEXT);
}

void drawHeatScale(raster* p, int x, int y) {
    const int width = 720;
    for (int i = 0; i < width; ++i)
        p->fillRect(x + i, y, 1, CHART_TEXT_HEIGHT,
                    uint8_t(DAY_FIRST_HEAT + i * (DAY_HEAT_LEVELS - 1) / (width - 1)));
    for (double occupancy : {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0}) {
        int at = x + int(std::lround(heatShare(occupancy) * (width - 1)));
        p->fillRect(at, y + CHART_TEXT_HEIGHT, 1, 4, DAY_TEXT);
        QString label = percentText(occupancy);
        drawText(p, at - textWidth(label) / 2, y + CHART_TEXT_HEIGHT + 6, label, DAY_TEXT);
    }
}

QString headline(const dayFigures& day) {
    int present =
        int(std::count(day.intervals.begin(), day.intervals.end(), uint8_t(INTERVAL_PRESENT)));
    return QStringLiteral("DAY %1 LOCAL TIME   %2   %3 INTERVALS PRESENT, %4 MISSING, %5 DAMAGED")
        .arg(clockText(day.dayStart).left(10), day.directory)
        .arg(present)
        .arg(day.missingIntervals())
        .arg(day.damaged);
}

} // namespace

uint8_t heatColour(double occupancy) {
    if (occupancy <= 0)
        return DAY_FIRST_HEAT;
    // Any shadow at all is one step above none.
    int level = 1 + int(std::lround(heatShare(occupancy) * (DAY_HEAT_LEVELS - 2)));
    return uint8_t(DAY_FIRST_HEAT + std::min(level, DAY_HEAT_LEVELS - 1));
}

raster drawDay(const dayFigures& day, dayLayout* layout) {
    dayLayout& l = *layout;
    l.plotLeft = MARGIN_LEFT;
    l.plotWidth = DAY_MINUTES;
    l.pixelsPerRow = std::max(1, (day.window + OCCUPANCY_ROWS - 1) / OCCUPANCY_ROWS);
    l.occupancyHeight = (day.window + l.pixelsPerRow - 1) / l.pixelsPerRow;
    l.stripHeight = STRIP_HEIGHT;
    int y = 12;
    const int titleTop = y;
    y += 2 * CHART_TEXT_HEIGHT + 12 + PANEL_GAP;
    const int framesTop = y;
    y += FRAMES_HEIGHT + PANEL_GAP;
    const int ratioTop = y;
    y += RATIO_HEIGHT + PANEL_GAP;
    l.occupancyTop[0] = y;
    y += l.occupancyHeight + PANEL_GAP;
    l.occupancyTop[1] = y;
    y += l.occupancyHeight + PANEL_GAP;
    l.stateTop = y;
    y += STRIP_HEIGHT + PANEL_GAP;
    l.syncTop = y;
    y += STRIP_HEIGHT + 8;
    const int axisTop = y;
    y += 12 + CHART_TEXT_HEIGHT + 30;
    const int legendTop = y;
    y += 3 * (CHART_TEXT_HEIGHT + 18) + 30;

    raster p(MARGIN_LEFT + DAY_MINUTES + PROFILE_GAP + PROFILE_WIDTH + MARGIN_RIGHT, y,
             DAY_BACKGROUND);
    if (p.isNull())
        return p;
    p.palette = dayPalette();

    drawTitle(&p, titleTop, headline(day));
    QString syncs = day.syncList.name.isEmpty()
                        ? QStringLiteral("NO SYNC LIST")
                        : QStringLiteral("SYNC LIST %1: %2 SYNCHRONISATIONS")
                              .arg(day.syncList.name)
                              .arg(day.syncList.events.size());
    drawTitle(&p, titleTop + CHART_TEXT_HEIGHT + 8,
              QStringLiteral("%1 DATAFILES, CAPTURE WINDOW %2 PIXELS.  %3")
                  .arg(day.datafiles)
                  .arg(day.window)
                  .arg(syncs));

    // Frames per minute.
    int64_t most = maxOf(day.frames[0], day.frames[1]);
    double step = niceStep(double(std::max<int64_t>(most, 1)), 4);
    plotArea frames{l.plotLeft,  framesTop,
                    l.plotWidth, FRAMES_HEIGHT,
                    0,           step * std::ceil(double(std::max<int64_t>(most, 1)) / step)};
    shadeGaps(&p, day, l.plotLeft, framesTop, FRAMES_HEIGHT);
    drawHourGrid(&p, l.plotLeft, l.plotWidth, framesTop, FRAMES_HEIGHT);
    drawValueAxis(&p, frames, step, 0, AXIS);
    drawTitle(&p, framesTop - PANEL_GAP + 8, QStringLiteral("FRAMES PER MINUTE"));
    drawLegend(
        &p, l.plotLeft + 400, framesTop - PANEL_GAP + 8,
        {{QStringLiteral("CAMERA A"), DAY_CAMERA_A}, {QStringLiteral("CAMERA B"), DAY_CAMERA_B}},
        DAY_TEXT);
    drawSeries(&p, frames, framesSeries(day, 1), DAY_CAMERA_B);
    drawSeries(&p, frames, framesSeries(day, 0), DAY_CAMERA_A);

    // Ratio A/B.
    plotArea ratio{l.plotLeft, ratioTop, l.plotWidth, RATIO_HEIGHT, 0, RATIO_TOP};
    shadeGaps(&p, day, l.plotLeft, ratioTop, RATIO_HEIGHT);
    drawHourGrid(&p, l.plotLeft, l.plotWidth, ratioTop, RATIO_HEIGHT);
    drawValueAxis(&p, ratio, 0.5, 1, AXIS);
    p.fillRect(l.plotLeft, ratio.yOf(1.0), l.plotWidth, 1, FRAME);
    drawTitle(&p, ratioTop - PANEL_GAP + 8,
              QStringLiteral("RATIO OF FRAMES A/B PER MINUTE (WHERE BOTH SAW RAIN, ABOVE 2 AT THE "
                             "TOP)"));
    for (int m = 0; m < DAY_MINUTES; ++m) {
        double r = day.ratio(m);
        if (r >= 0)
            p.fillRect(l.plotLeft + m - 1, ratio.yOf(r) - 1, 3, 3, DAY_RATIO);
    }

    for (int c = 0; c < 2; ++c) {
        drawOccupancy(&p, day, c, l);
        drawTitle(
            &p, l.occupancyTop[c] - PANEL_GAP + 8,
            QStringLiteral("CAMERA %1: SHADOW OCCUPANCY OF EACH PIXEL PER MINUTE "
                           "(PIXEL 0 AT THE TOP%2)")
                .arg(c == 0 ? QLatin1Char('A') : QLatin1Char('B'))
                .arg(l.pixelsPerRow > 1
                         ? QStringLiteral(", A ROW SHOWS THE MOST OF %1 PIXELS").arg(l.pixelsPerRow)
                         : QString()));
        drawText(&p, l.plotLeft + l.plotWidth + PROFILE_GAP, l.occupancyTop[c] - PANEL_GAP + 8,
                 QStringLiteral("WHOLE DAY, LOG"), DAY_TEXT);
    }

    drawStates(&p, day, l);
    drawTitle(&p, l.stateTop - PANEL_GAP + 8, QStringLiteral("DATAFILES"));
    drawTitle(&p, l.syncTop - PANEL_GAP + 8, QStringLiteral("SYNCHRONISATIONS"));
    drawSyncs(&p, day, l);
    drawHourAxis(&p, l.plotLeft, l.plotWidth, axisTop);
    drawText(&p, l.plotLeft + l.plotWidth - textWidth(QStringLiteral("LOCAL TIME")), axisTop + 34,
             QStringLiteral("LOCAL TIME"), DAY_TEXT);

    int lx = drawText(&p, l.plotLeft, legendTop, QStringLiteral("DATAFILES:"), DAY_TEXT) + 20;
    drawLegend(&p, l.plotLeft + lx, legendTop,
               {{QStringLiteral("PRESENT"), DAY_PRESENT},
                {QStringLiteral("MISSING (ALSO SHADED RED ABOVE)"), DAY_MISSING},
                {QStringLiteral("DAMAGED"), DAY_DAMAGED},
                {QStringLiteral("NOT YET DUE"), DAY_FUTURE},
                {QStringLiteral("NO DATA"), DAY_NO_DATA}},
               DAY_TEXT);
    int y2 = legendTop + CHART_TEXT_HEIGHT + 18;
    lx = drawText(&p, l.plotLeft, y2, QStringLiteral("SYNCHRONISATIONS:"), DAY_TEXT) + 20;
    drawLegend(&p, l.plotLeft + lx, y2,
               {{QStringLiteral("PLANNED (FULL HOUR)"), DAY_PLANNED},
                {QStringLiteral("UNPLANNED RESYNC"), DAY_UNPLANNED},
                {QStringLiteral("NUMBERING RESTART: CAMERAS REBOOTED"), DAY_RESTART}},
               DAY_TEXT);
    int y3 = y2 + CHART_TEXT_HEIGHT + 18;
    lx = drawText(&p, l.plotLeft, y3, QStringLiteral("OCCUPANCY:"), DAY_TEXT) + 20;
    drawHeatScale(&p, l.plotLeft + lx + 40, y3);
    return p;
}
