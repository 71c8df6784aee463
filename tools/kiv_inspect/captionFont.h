// A 5 x 7 pixel font for the captions, axis labels and legends of the inspector's pictures:
// digits, capital letters and a little punctuation, drawn straight into the raster, so that a
// picture needs neither a display nor installed fonts and looks the same on every machine.
#pragma once

#include "kiv_inspect/raster.h"

#include <QString>

const int GLYPH_WIDTH = 5;
const int GLYPH_HEIGHT = 7;
const int GLYPH_ADVANCE = GLYPH_WIDTH + 1;

// Draws `text` (letters in capitals; characters the font lacks as "?") with its top left corner
// at (`x`, `y`) in colour `colour`, each font pixel as `scale` x `scale` pixels; clipped.
void drawCaption(raster* picture, int x, int y, const QString& text, uint8_t colour, int scale = 1);
// Width in pixels that drawCaption() takes for `text`.
int captionWidth(const QString& text, int scale = 1);
