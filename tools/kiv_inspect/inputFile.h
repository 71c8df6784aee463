// Reading the files the inspector is pointed at: whole, up to a size that no file of the
// station reaches, so that a wrong path to a huge file ends in a message, not in exhausted
// memory.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Reads the file at `path` into `bytes`; at most `limit` bytes, and one more when the file is
// longer, so that the caller sees it is. False with `error` set when it cannot be read.
bool readInputFile(const QString& path, int64_t limit, QByteArray* bytes, QString* error);

// The file name of `path` without its directories.
QString baseName(const QString& path);
