#include "kiv_inspect/videoPlot.h"

#include "kiv_inspect/chartDrawing.h"

#include <algorithm>

namespace {

const int LEFT = 90;
const int RIGHT = 30;
const int GAP = 40;
const int CHART_HEIGHT = 260;
const int BAND_HEIGHT = 240;
const uint8_t FRAME = CHART_FRAME;
const chartColours AXIS = {VIDEO_TEXT, CHART_GRID, CHART_FRAME};

raster blank(int height) {
    raster p(LEFT + VIDEO_LINE_SIZE + RIGHT, height, VIDEO_BACKGROUND);
    p.palette = {{255, 255, 255}, {20, 20, 20},   {225, 225, 225},
                 {90, 90, 90},    {31, 119, 180}, {255, 127, 14}};
    for (int i = 0; i < VIDEO_GREYS; ++i) {
        uint8_t level = uint8_t(i * 255 / (VIDEO_GREYS - 1));
        p.palette.push_back({level, level, level});
    }
    return p;
}

void drawPixelAxis(raster* p, int y) {
    for (int px = 0; px <= VIDEO_LINE_SIZE; px += 100) {
        p->fillRect(LEFT + px, y, 1, 5, VIDEO_TEXT);
        if (px % 200 == 0) {
            QString label = QString::number(px);
            drawText(p, LEFT + px - textWidth(label) / 2, y + 8, label, VIDEO_TEXT);
        }
    }
}

std::vector<double> levels(const uint8_t* line) {
    return std::vector<double>(line, line + VIDEO_LINE_SIZE);
}

raster drawOne(const videoDatReport& f, videoLayout* l) {
    l->chartHeight = CHART_HEIGHT;
    int y = 14 + CHART_TEXT_HEIGHT + GAP;
    l->chartTop[0] = y;
    l->chartTop[1] = y + CHART_HEIGHT + GAP + 30;
    raster p = blank(l->chartTop[1] + CHART_HEIGHT + 80);
    if (p.isNull())
        return p;
    drawText(&p, LEFT, 14, QStringLiteral("VIDEO.DAT %1, WRITTEN %2").arg(f.name, f.time),
             VIDEO_TEXT);
    for (int chart = 0; chart < 2; ++chart) {
        plotArea area{LEFT, l->chartTop[chart], VIDEO_LINE_SIZE, CHART_HEIGHT, 0, 255};
        drawValueAxis(&p, area, 50, 0, AXIS);
        int title = l->chartTop[chart] - GAP + 10;
        int x = LEFT + drawText(&p, LEFT, title,
                                chart == 0 ? QStringLiteral("RAW VIDEO LINE (LEVEL)")
                                           : QStringLiteral("NORMALISED VIDEO LINE (LEVEL)"),
                                VIDEO_TEXT);
        drawLegend(&p, x + 40, title,
                   {{QStringLiteral("CAMERA A"), VIDEO_CAMERA_A},
                    {QStringLiteral("CAMERA B"), VIDEO_CAMERA_B}},
                   VIDEO_TEXT);
        drawSeries(&p, area, levels(chart == 0 ? f.raw[1] : f.norm[1]), VIDEO_CAMERA_B);
        drawSeries(&p, area, levels(chart == 0 ? f.raw[0] : f.norm[0]), VIDEO_CAMERA_A);
        drawPixelAxis(&p, l->chartTop[chart] + CHART_HEIGHT + 2);
    }
    drawText(&p, LEFT + VIDEO_LINE_SIZE - textWidth(QStringLiteral("PIXEL")),
             l->chartTop[1] + CHART_HEIGHT + 30, QStringLiteral("PIXEL"), VIDEO_TEXT);
    return p;
}

raster drawSeries(const std::vector<videoDatReport>& files, videoLayout* l) {
    const int copies = int(files.size());
    l->rowsPerCopy = std::max(1, BAND_HEIGHT / copies);
    const int band = l->rowsPerCopy * copies;
    int y = 14 + 2 * (CHART_TEXT_HEIGHT + 8) + GAP;
    for (int b = 0; b < 4; ++b) {
        l->bandTop[b] = y;
        y += band + GAP + 26;
    }
    raster p = blank(y + 20);
    if (p.isNull())
        return p;
    drawText(&p, LEFT, 14, QStringLiteral("%1 COPIES OF VIDEO.DAT, FIRST AT THE TOP").arg(copies),
             VIDEO_TEXT);
    drawText(&p, LEFT, 14 + CHART_TEXT_HEIGHT + 8,
             QStringLiteral("FIRST %1 (%2), LAST %3 (%4)")
                 .arg(files.front().name, files.front().time, files.back().name, files.back().time),
             VIDEO_TEXT);
    const char* titles[4] = {"RAW VIDEO LINE, CAMERA A", "RAW VIDEO LINE, CAMERA B",
                             "NORMALISED VIDEO LINE, CAMERA A", "NORMALISED VIDEO LINE, CAMERA B"};
    for (int b = 0; b < 4; ++b) {
        for (int c = 0; c < copies; ++c) {
            const videoDatReport& f = files[size_t(c)];
            const uint8_t* line = b < 2 ? f.raw[b] : f.norm[b - 2];
            for (int x = 0; x < VIDEO_LINE_SIZE; ++x)
                p.fillRect(LEFT + x, l->bandTop[b] + c * l->rowsPerCopy, 1, l->rowsPerCopy,
                           uint8_t(VIDEO_FIRST_GREY + line[x] * (VIDEO_GREYS - 1) / 255));
        }
        drawFrame(&p, plotArea{LEFT, l->bandTop[b], VIDEO_LINE_SIZE, band, 0, 1}, FRAME);
        drawText(&p, LEFT, l->bandTop[b] - GAP + 14,
                 QStringLiteral("%1 (BLACK 0 .. WHITE 255)").arg(QLatin1String(titles[b])),
                 VIDEO_TEXT);
        drawPixelAxis(&p, l->bandTop[b] + band + 2);
    }
    return p;
}

} // namespace

raster drawVideoPlot(const std::vector<videoDatReport>& files, videoLayout* layout) {
    *layout = videoLayout{};
    layout->left = LEFT;
    if (files.empty())
        return raster();
    return files.size() == 1 ? drawOne(files.front(), layout) : drawSeries(files, layout);
}
