// The picture of datafiles: every frame's run-length payload decoded and drawn as shadow
// segments, one row per camera line (repeated lines drawn again), camera A on the left and
// camera B on the right, each camera's lines in pairing order, under a caption line with the
// interval's time. Datafiles follow each other from top to bottom.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

// Palette of the picture.
enum pictureColour : uchar {
    PICTURE_LIGHT = 0,       // a lit pixel of the capture window
    PICTURE_SHADOW = 1,      // a pixel of a shadow segment
    PICTURE_SEPARATOR = 2,   // the column between the cameras
    PICTURE_NO_LINE = 3,     // beside the window, or below a camera's last line
    PICTURE_CAPTION = 4,     // caption background
    PICTURE_CAPTION_TEXT = 5 // caption text
};

const int PICTURE_CAPTION_HEIGHT = 11;
const int PICTURE_SEPARATOR_WIDTH = 4;
// Rows of one picture; the lines after them are left out (and said so). Kept so that the
// picture stays below what common image readers accept (Qt's own: 128 MiB as 32-bit pixels).
const int PICTURE_MAX_ROWS = 20000;
// Widest capture window drawn, in pixels.
const int PICTURE_MAX_WINDOW = 4096;

struct pictureSource {
    QString name;
    QByteArray bytes;
};

// Draws the datafiles into one 8-bit indexed image. What could not be drawn of damaged files
// or frames is added to `problems`, one line each; `rowsLeftOut` tells how many rows did not
// fit under PICTURE_MAX_ROWS. A null image when nothing at all could be drawn.
QImage drawDatafiles(const std::vector<pictureSource>& files, QStringList* problems,
                     int64_t* rowsLeftOut);
