#include "kiv_inspect/chartDrawing.h"

#include "kiv_inspect/captionFont.h"

#include <algorithm>
#include <cmath>

std::vector<rgbColour> chartPalette() {
    return {{255, 255, 255}, {20, 20, 20},   {225, 225, 225},
            {90, 90, 90},    {31, 119, 180}, {255, 127, 14}};
}

int plotArea::yOf(double value) const {
    double share = high > low ? (value - low) / (high - low) : 0.0;
    share = std::min(1.0, std::max(0.0, share));
    return top + height - 1 - int(std::lround(share * (height - 1)));
}

double niceStep(double high, int ticks) {
    if (!(high > 0))
        return 1.0;
    double raw = high / ticks;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= raw)
            return factor * power;
    return 10.0 * power;
}

int drawText(raster* picture, int x, int y, const QString& text, uint8_t colour) {
    drawCaption(picture, x, y, text, colour, CHART_TEXT_SCALE);
    return textWidth(text);
}

int textWidth(const QString& text) {
    return captionWidth(text, CHART_TEXT_SCALE);
}

void drawValueAxis(raster* picture, const plotArea& area, double step, int decimals,
                   const chartColours& colours) {
    for (int i = 0;; ++i) {
        double value = area.low + i * step;
        if (value > area.high + step * 1e-6)
            break;
        int y = area.yOf(value);
        picture->fillRect(area.left, y, area.width, 1, colours.grid);
        QString label = QString::number(value, 'f', decimals);
        drawText(picture, area.left - 6 - textWidth(label), y - CHART_TEXT_HEIGHT / 2, label,
                 colours.text);
    }
    drawFrame(picture, area, colours.frame);
}

void drawFrame(raster* picture, const plotArea& area, uint8_t colour) {
    picture->fillRect(area.left - 1, area.top, 1, area.height, colour);
    picture->fillRect(area.left + area.width, area.top, 1, area.height, colour);
    picture->fillRect(area.left - 1, area.top - 1, area.width + 2, 1, colour);
    picture->fillRect(area.left - 1, area.top + area.height, area.width + 2, 1, colour);
}

int drawLegend(raster* picture, int x, int y,
               const std::vector<std::pair<QString, uint8_t>>& entries, uint8_t textColour) {
    for (const std::pair<QString, uint8_t>& e : entries) {
        picture->fillRect(x, y, CHART_TEXT_HEIGHT, CHART_TEXT_HEIGHT, e.second);
        x += CHART_TEXT_HEIGHT + 6;
        x += drawText(picture, x, y, e.first, textColour) + 20;
    }
    return x;
}

void drawSeries(raster* picture, const plotArea& area, const std::vector<double>& values,
                uint8_t colour) {
    int lastX = -1, lastY = -1;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i] < 0) {
            lastX = -1;
            continue;
        }
        int x = area.left + int(i * size_t(area.width) / values.size());
        int y = area.yOf(values[i]);
        if (lastX >= 0)
            picture->line(lastX, lastY, x, y, colour);
        else
            picture->set(x, y, colour);
        lastX = x;
        lastY = y;
    }
}
