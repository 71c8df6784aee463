// The picture of datafiles: every frame's run-length payload decoded and drawn as shadow
// segments, one row per camera line (repeated lines drawn again), camera A on the left and
// camera B on the right, each camera's lines in pairing order, under a caption line with the
// interval's time. Datafiles follow each other from top to bottom. Lines that do not fit the
// picture's height are scaled, never cut: a row then stands for several lines, each pixel
// shaded by the share of them that saw a shadow there, and the caption says so.
#pragma once

#include "kiv_inspect/raster.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Palette of the picture; the shades of scaled rows follow the named colours.
enum pictureColour : uint8_t {
    PICTURE_LIGHT = 0,        // a lit pixel of the capture window
    PICTURE_SHADOW = 1,       // a pixel of a shadow segment
    PICTURE_SEPARATOR = 2,    // the column between the cameras
    PICTURE_NO_LINE = 3,      // beside the window, or below a camera's last line
    PICTURE_CAPTION = 4,      // caption background
    PICTURE_CAPTION_TEXT = 5, // caption text
    PICTURE_FIRST_SHADE = 6   // of PICTURE_SHADES greys, lightest first: partly shadowed
};
const int PICTURE_SHADES = 32;

const int PICTURE_CAPTION_HEIGHT = 11;
const int PICTURE_SEPARATOR_WIDTH = 4;
// Rows of one picture at most; more lines are scaled to fit. Keeps the picture within what
// common image viewers open.
const int PICTURE_MAX_ROWS = 20000;
// Widest capture window drawn, in pixels.
const int PICTURE_MAX_WINDOW = 4096;

struct datafilePicture {
    raster image; // null when nothing at all could be drawn
    // Camera lines one row stands for; 1 when nothing was scaled.
    int64_t linesPerRow = 1;
    // Captions per datafile; false when the datafiles outnumber the rows and one caption on
    // top names them all.
    bool fileCaptions = true;
};

// Draws the datafiles at `paths`, reading each twice (measuring, then drawing), so that any
// number of them fits in little memory. What could not be read or drawn of damaged files or
// frames is added to `problems`, one line each.
datafilePicture drawDatafiles(const QStringList& paths, QStringList* problems);
