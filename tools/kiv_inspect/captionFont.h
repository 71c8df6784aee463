// A 5 x 7 pixel font for the caption lines of the datafile pictures: digits, capital letters
// and a little punctuation, drawn straight into the image, so that a picture needs neither a
// display nor installed fonts and looks the same on every machine.
#pragma once

#include <QImage>
#include <QString>

const int GLYPH_WIDTH = 5;
const int GLYPH_HEIGHT = 7;
const int GLYPH_ADVANCE = GLYPH_WIDTH + 1;

// Draws `text` (letters in capitals; characters the font lacks as "?") with its top left corner
// at (`x`, `y`) in colour index `colour` of an 8-bit indexed image, clipped to the image.
void drawCaption(QImage* image, int x, int y, const QString& text, uchar colour);
