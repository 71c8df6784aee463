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
const uint8_t NOT_RUNNING_SHADE = 83;
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
    // DAY_NOT_RUNNING, DAY_CAMERA_OUT, DAY_NO_RAIN, NOT_RUNNING_SHADE.
    p.insert(p.end(), {{105, 105, 115}, {200, 0, 200}, {250, 250, 250}, {232, 232, 238}});
    return p;
}

const chartColours AXIS = {DAY_TEXT, GRID, FRAME};

// Position on the logarithmic occupancy scale, 0 at HEAT_FLOOR, 1 at 1.
double heatShare(double occupancy) {
    if (occupancy <= HEAT_FLOOR)
        return 0.0;
    return std::min(1.0, std::log10(occupancy / HEAT_FLOOR) / -std::log10(HEAT_FLOOR));
}

// Minutes between labelled ticks, and between small ticks, for a window of `minutes`: at
// most a dozen labels (every 3 hours for the whole day).
void tickSteps(int minutes, int* label, int* tick) {
    static const int STEPS[] = {1, 2, 5, 10, 15, 30, 60, 180, 360};
    int i = 0;
    while (STEPS[i] < 360 && minutes / STEPS[i] > 12)
        ++i;
    *label = STEPS[i];
    *tick = i > 0 ? STEPS[i - 1] : 1;
}

void drawTimeAxis(raster* p, const dayLayout& l, int y) {
    int label = 0;
    int tick = 0;
    tickSteps(l.minutes, &label, &tick);
    const int end = l.firstMinute + l.minutes;
    for (int m = (l.firstMinute + tick - 1) / tick * tick; m <= end; m += tick) {
        const int x = m == end ? l.plotLeft + l.plotWidth : l.columnOf(m);
        p->fillRect(x, y, 1, m % label ? 4 : 8, DAY_TEXT);
        if (m % label == 0) {
            QString text = QStringLiteral("%1:%2")
                               .arg(m / 60, 2, 10, QLatin1Char('0'))
                               .arg(m % 60, 2, 10, QLatin1Char('0'));
            drawText(p, x - textWidth(text) / 2, y + 12, text, DAY_TEXT);
        }
    }
}

void drawTimeGrid(raster* p, const dayLayout& l, int top, int height) {
    int label = 0;
    int tick = 0;
    tickSteps(l.minutes, &label, &tick);
    const int step = l.minutes > 12 * 60 ? 60 : label;
    for (int m = (l.firstMinute / step + 1) * step; m < l.firstMinute + l.minutes; m += step)
        p->fillRect(l.columnOf(m), top, 1, height, GRID);
}

// Behind the charts: light red where an interval of the minute is missing while the station
// ran, light grey where the station did not run at all.
void shadeGaps(raster* p, const dayFigures& day, const dayLayout& l, int top, int height) {
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m) {
        const minuteIntervals in = day.minute(m);
        uint8_t shade = in.missing > 0                     ? GAP_SHADE
                        : in.notRunning > 0 && !in.present ? NOT_RUNNING_SHADE
                                                           : uint8_t(DAY_BACKGROUND);
        if (shade != DAY_BACKGROUND)
            p->fillRect(l.columnOf(m), top, l.columnsOf(m), height, shade);
    }
}

QString percentText(double share) {
    double percent = share * 100;
    return QString::number(percent, 'g', 3) + QLatin1Char('%');
}

void drawTitle(raster* p, int y, const QString& text) {
    drawText(p, MARGIN_LEFT, y, text, DAY_TEXT);
}

std::vector<double> framesSeries(const dayFigures& day, int camera, const dayLayout& l) {
    std::vector<double> values;
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m)
        values.push_back(day.present[size_t(m)] > 0 ? double(day.frames[camera][size_t(m)]) : -1.0);
    return values;
}

void drawOccupancy(raster* p, const dayFigures& day, int camera, const dayLayout& l) {
    const int top = l.occupancyTop[camera];
    const int rows = l.occupancyHeight;
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m) {
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
            p->fillRect(l.columnOf(m), top + r, l.columnsOf(m), 1, colour);
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

// A column per minute, its intervals stacked from the bottom: present (its height the share
// present), damaged, missing while the station ran, not running, not yet due.
void drawStates(raster* p, const dayFigures& day, const dayLayout& l) {
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m) {
        const minuteIntervals in = day.minute(m);
        const std::pair<int, uint8_t> parts[] = {{in.present, DAY_PRESENT},
                                                 {in.damaged, DAY_DAMAGED},
                                                 {in.missing, DAY_MISSING},
                                                 {in.notRunning, DAY_NOT_RUNNING},
                                                 {in.future, DAY_FUTURE}};
        int done = 0;
        for (const std::pair<int, uint8_t>& part : parts) {
            const int from = done * l.stripHeight / INTERVALS_PER_MINUTE;
            done += part.first;
            const int to = done * l.stripHeight / INTERVALS_PER_MINUTE;
            p->fillRect(l.columnOf(m), l.stateTop + l.stripHeight - to, l.columnsOf(m), to - from,
                        part.second);
        }
    }
}

// A camera's row: its frames, no rain, its outage while the other camera saw rain, or no
// datafile at all.
void drawCamera(raster* p, const dayFigures& day, int camera, const dayLayout& l) {
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m) {
        uint8_t colour = day.present[size_t(m)] == 0          ? DAY_NO_DATA
                         : day.cameraOut(camera, m)           ? DAY_CAMERA_OUT
                         : day.frames[camera][size_t(m)] == 0 ? DAY_NO_RAIN
                         : camera == 0                        ? DAY_CAMERA_A
                                                              : DAY_CAMERA_B;
        p->fillRect(l.columnOf(m), l.cameraTop[camera], l.columnsOf(m), l.stripHeight, colour);
    }
    drawFrame(p, plotArea{l.plotLeft, l.cameraTop[camera], l.plotWidth, l.stripHeight, 0, 1},
              FRAME);
}

void drawSyncs(raster* p, const dayFigures& day, const dayLayout& l) {
    p->fillRect(l.plotLeft, l.syncTop, l.plotWidth, l.stripHeight, DAY_BACKGROUND);
    const int64_t from = day.dayStart + 60 * int64_t(l.firstMinute);
    for (const syncEvent& e : day.syncList.events) {
        if (e.localSecond < from || e.localSecond >= from + 60 * int64_t(l.minutes))
            continue;
        int x = l.plotLeft + int((e.localSecond - from) * l.plotWidth / (60 * int64_t(l.minutes)));
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

// One row of the legend: its title, then its swatches.
void drawLegendRow(raster* p, int left, int y, const QString& title,
                   const std::vector<std::pair<QString, uint8_t>>& entries) {
    const int x = drawText(p, left, y, title, DAY_TEXT) + 20;
    drawLegend(p, left + x, y, entries, DAY_TEXT);
}

QString headline(const dayFigures& day, const dayLayout& l) {
    QString window;
    if (l.minutes < DAY_MINUTES)
        window =
            QStringLiteral(" %1 .. %2")
                .arg(clockText(day.dayStart + 60 * int64_t(l.firstMinute)).mid(11, 5),
                     clockText(day.dayStart + 60 * int64_t(l.firstMinute + l.minutes)).mid(11, 5));
    return QStringLiteral("DAY %1%2 LOCAL TIME   %3   %4 INTERVALS PRESENT, %5 MISSING (%6 NOT "
                          "RUNNING), %7 DAMAGED")
        .arg(clockText(day.dayStart).left(10), window, day.directory)
        .arg(day.intervalsIn(INTERVAL_PRESENT))
        .arg(day.missingIntervals())
        .arg(day.intervalsIn(INTERVAL_NOT_RUNNING))
        .arg(day.damaged);
}

} // namespace

int dayLayout::columnOf(int minute) const {
    return plotLeft + (minute - firstMinute) * plotWidth / minutes;
}

int dayLayout::columnsOf(int minute) const {
    return std::max(1, columnOf(minute + 1) - columnOf(minute));
}

uint8_t heatColour(double occupancy) {
    if (occupancy <= 0)
        return DAY_FIRST_HEAT;
    // Any shadow at all is one step above none.
    int level = 1 + int(std::lround(heatShare(occupancy) * (DAY_HEAT_LEVELS - 2)));
    return uint8_t(DAY_FIRST_HEAT + std::min(level, DAY_HEAT_LEVELS - 1));
}

raster drawDay(const dayFigures& day, dayLayout* layout, int firstMinute, int minutes) {
    dayLayout& l = *layout;
    l.plotLeft = MARGIN_LEFT;
    l.plotWidth = DAY_MINUTES;
    l.firstMinute = std::max(0, std::min(firstMinute, DAY_MINUTES - 1));
    l.minutes = std::max(1, std::min(minutes, DAY_MINUTES - l.firstMinute));
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
    l.cameraTop[0] = y;
    y += STRIP_HEIGHT + 4;
    l.cameraTop[1] = y;
    y += STRIP_HEIGHT + PANEL_GAP;
    l.syncTop = y;
    y += STRIP_HEIGHT + 8;
    const int axisTop = y;
    y += 12 + CHART_TEXT_HEIGHT + 30;
    const int legendTop = y;
    y += 4 * (CHART_TEXT_HEIGHT + 18) + 30;

    raster p(MARGIN_LEFT + DAY_MINUTES + PROFILE_GAP + PROFILE_WIDTH + MARGIN_RIGHT, y,
             DAY_BACKGROUND);
    if (p.isNull())
        return p;
    p.palette = dayPalette();

    drawTitle(&p, titleTop, headline(day, l));
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
    const std::vector<double> seriesA = framesSeries(day, 0, l);
    const std::vector<double> seriesB = framesSeries(day, 1, l);
    int64_t most = int64_t(std::max(*std::max_element(seriesA.begin(), seriesA.end()),
                                    *std::max_element(seriesB.begin(), seriesB.end())));
    double step = niceStep(double(std::max<int64_t>(most, 1)), 4);
    plotArea frames{l.plotLeft,  framesTop,
                    l.plotWidth, FRAMES_HEIGHT,
                    0,           step * std::ceil(double(std::max<int64_t>(most, 1)) / step)};
    shadeGaps(&p, day, l, framesTop, FRAMES_HEIGHT);
    drawTimeGrid(&p, l, framesTop, FRAMES_HEIGHT);
    drawValueAxis(&p, frames, step, 0, AXIS);
    drawTitle(&p, framesTop - PANEL_GAP + 8, QStringLiteral("FRAMES PER MINUTE"));
    drawLegend(
        &p, l.plotLeft + 400, framesTop - PANEL_GAP + 8,
        {{QStringLiteral("CAMERA A"), DAY_CAMERA_A}, {QStringLiteral("CAMERA B"), DAY_CAMERA_B}},
        DAY_TEXT);
    drawSeries(&p, frames, seriesB, DAY_CAMERA_B);
    drawSeries(&p, frames, seriesA, DAY_CAMERA_A);

    // Ratio A/B.
    plotArea ratio{l.plotLeft, ratioTop, l.plotWidth, RATIO_HEIGHT, 0, RATIO_TOP};
    shadeGaps(&p, day, l, ratioTop, RATIO_HEIGHT);
    drawTimeGrid(&p, l, ratioTop, RATIO_HEIGHT);
    drawValueAxis(&p, ratio, 0.5, 1, AXIS);
    p.fillRect(l.plotLeft, ratio.yOf(1.0), l.plotWidth, 1, FRAME);
    drawTitle(&p, ratioTop - PANEL_GAP + 8,
              QStringLiteral("RATIO OF FRAMES A/B PER MINUTE (WHERE BOTH SAW RAIN, ABOVE 2 AT THE "
                             "TOP)"));
    for (int m = l.firstMinute; m < l.firstMinute + l.minutes; ++m) {
        double r = day.ratio(m);
        if (r >= 0)
            p.fillRect(l.columnOf(m) + l.columnsOf(m) / 2 - 1, ratio.yOf(r) - 1, 3, 3, DAY_RATIO);
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
    drawTitle(&p, l.stateTop - PANEL_GAP + 8,
              QStringLiteral("DATAFILES: SHARE OF INTERVALS PRESENT PER MINUTE"));
    for (int c = 0; c < 2; ++c) {
        drawCamera(&p, day, c, l);
        drawText(&p, l.plotLeft - 8 - textWidth(QStringLiteral("CAMERA A")),
                 l.cameraTop[c] + (l.stripHeight - CHART_TEXT_HEIGHT) / 2,
                 c == 0 ? QStringLiteral("CAMERA A") : QStringLiteral("CAMERA B"), DAY_TEXT);
    }
    drawTitle(&p, l.syncTop - PANEL_GAP + 8, QStringLiteral("SYNCHRONISATIONS"));
    drawSyncs(&p, day, l);
    drawTimeAxis(&p, l, axisTop);
    drawText(&p, l.plotLeft + l.plotWidth - textWidth(QStringLiteral("LOCAL TIME")), axisTop + 34,
             QStringLiteral("LOCAL TIME"), DAY_TEXT);

    const int row = CHART_TEXT_HEIGHT + 18;
    drawLegendRow(&p, l.plotLeft, legendTop, QStringLiteral("DATAFILES:"),
                  {{QStringLiteral("PRESENT"), DAY_PRESENT},
                   {QStringLiteral("MISSING WHILE RUNNING (SHADED RED ABOVE)"), DAY_MISSING},
                   {QStringLiteral("DAMAGED"), DAY_DAMAGED},
                   {QStringLiteral("STATION NOT RUNNING"), DAY_NOT_RUNNING},
                   {QStringLiteral("NOT YET DUE"), DAY_FUTURE}});
    drawLegendRow(&p, l.plotLeft, legendTop + row, QStringLiteral("CAMERAS:"),
                  {{QStringLiteral("FRAMES A"), DAY_CAMERA_A},
                   {QStringLiteral("FRAMES B"), DAY_CAMERA_B},
                   {QStringLiteral("NO RAIN"), DAY_NO_RAIN},
                   {QStringLiteral("OUT WHILE THE OTHER SAW RAIN"), DAY_CAMERA_OUT},
                   {QStringLiteral("NO DATAFILE"), DAY_NO_DATA}});
    drawLegendRow(&p, l.plotLeft, legendTop + 2 * row, QStringLiteral("SYNCHRONISATIONS:"),
                  {{QStringLiteral("PLANNED (FULL HOUR)"), DAY_PLANNED},
                   {QStringLiteral("UNPLANNED RESYNC"), DAY_UNPLANNED},
                   {QStringLiteral("NUMBERING RESTART: CAMERAS REBOOTED"), DAY_RESTART}});
    const int y3 = legendTop + 3 * row;
    const int lx = drawText(&p, l.plotLeft, y3, QStringLiteral("OCCUPANCY:"), DAY_TEXT) + 20;
    drawHeatScale(&p, l.plotLeft + lx + 40, y3);
    return p;
}
