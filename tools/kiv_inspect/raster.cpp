#include "kiv_inspect/raster.h"

#include <algorithm>
#include <cstdlib>
#include <new>

raster::raster(int width, int height, uint8_t fill) {
    if (width <= 0 || height <= 0)
        return;
    try {
        m_pixels.assign(size_t(width) * size_t(height), fill);
    } catch (const std::bad_alloc&) {
        return;
    }
    m_width = width;
    m_height = height;
}

void raster::set(int x, int y, uint8_t colour) {
    if (x >= 0 && y >= 0 && x < m_width && y < m_height)
        row(y)[x] = colour;
}

void raster::fillRect(int x, int y, int width, int height, uint8_t colour) {
    int left = std::max(x, 0);
    int right = std::min(x + width, m_width);
    int top = std::max(y, 0);
    int bottom = std::min(y + height, m_height);
    for (int py = top; py < bottom; ++py)
        std::fill(row(py) + left, row(py) + std::max(left, right), colour);
}

void raster::line(int x0, int y0, int x1, int y1, uint8_t colour) {
    int dx = std::abs(x1 - x0);
    int dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1;
    int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        set(x0, y0, colour);
        if (x0 == x1 && y0 == y1)
            return;
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}
