// The simulator's record of what it delivered, for end-to-end checks: one line per frame
// written into a transfer file and one line per file placed in an input directory.
#pragma once

#include "format/transferWriter.h"

#include <QString>

#include <cstdint>
#include <cstdio>

// Both cameras of a program append to the same log; every line is on disk when the call
// returns. The lines:
//
//   frame <camera> <syncId> <lineCounter> <numLines> <payloadSize> <hash>
//   file <camera> <kind> <name> <frames>
//
// <camera> is A or B; <payloadSize> counts the bytes after the frame's 16-byte aux header and
// <hash> is their FNV-1a 64 hash as 16 lower-case hex digits (the bytes a datafile carries
// after a frame entry's header word and line position). <kind> is transfer, norm, log, garbage
// or again (a transfer file delivered a second time: its frames are logged once, with the
// first); <frames> is the number of frames of a transfer file, else 0.

// FNV-1a, 64 bits.
uint64_t fnv1a64(const uint8_t* data, size_t size);

class frameLog {
public:
    // Appends to `path` (created when missing).
    explicit frameLog(const QString& path);
    ~frameLog();
    frameLog(const frameLog&) = delete;
    frameLog& operator=(const frameLog&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    void logFrame(char camera, const frameBytes& frame);
    void logFile(char camera, const char* kind, const QString& name, size_t frames);

private:
    FILE* m_file;
};
