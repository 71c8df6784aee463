// The inspector's own picture in memory: 8-bit colour indices with a palette, drawn into with
// rectangles, lines and caption text, so that pictures need no display or graphics library and
// the figures behind them can be read back pixel by pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct rgbColour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

class raster {
public:
    raster() = default;
    // A picture of `width` x `height` pixels of colour `fill`; null when it cannot be had.
    raster(int width, int height, uint8_t fill);

    bool isNull() const { return m_pixels.empty(); }
    int width() const { return m_width; }
    int height() const { return m_height; }
    uint8_t* row(int y) { return m_pixels.data() + size_t(y) * size_t(m_width); }
    const uint8_t* row(int y) const { return m_pixels.data() + size_t(y) * size_t(m_width); }
    uint8_t at(int x, int y) const { return row(y)[x]; }

    // Drawing is clipped to the picture.
    void set(int x, int y, uint8_t colour);
    void fillRect(int x, int y, int width, int height, uint8_t colour);
    // A line from (x0, y0) to (x1, y1), both ends drawn.
    void line(int x0, int y0, int x1, int y1, uint8_t colour);

    // Colour of every index used; at most 256.
    std::vector<rgbColour> palette;

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_pixels;
};
