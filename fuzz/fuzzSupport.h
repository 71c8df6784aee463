// Shared by the fuzz targets: a private scratch directory for the readers that take a path,
// a simulated clock standing at a fixed moment (so a sync list, a syncPoint or a file name of
// the day never depends on when the fuzzer runs), and a quiet message log.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// 2026-12-08 10:00:00 UTC, the moment every fuzz target lives at.
const double FUZZ_NOW = 1796724000.0;

// Sets the time zone to UTC, installs the simulated clock and sends standard output (where
// the message log writes its lines without a terminal) to /dev/null. Call once, first.
void fuzzSetUp();
// A directory of this process, removed at exit.
const QString& fuzzScratchDir();
// Writes `size` bytes to `name` in the scratch directory (replacing it) and returns its path.
QString fuzzWriteFile(const char* name, const uint8_t* data, size_t size);
// The same as a path for the C library.
QByteArray fuzzNativeFile(const char* name, const uint8_t* data, size_t size);
