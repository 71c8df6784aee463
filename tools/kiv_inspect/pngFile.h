// Pictures as PNG files: a raster written as an 8-bit palette PNG, and such a file read back
// (for checking what was written; other PNG kinds are refused).
#pragma once

#include "kiv_inspect/raster.h"

#include <QString>

// Writes `picture` to `path`; false with `error` set when it cannot.
bool writePng(const raster& picture, const QString& path, QString* error);
// Reads an 8-bit palette PNG into `picture`; false with `error` set otherwise.
bool readPng(const QString& path, raster* picture, QString* error);
