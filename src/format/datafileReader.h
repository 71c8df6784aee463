// The datafile reader: takes a datafile's bytes apart again (sync header, frame entries, end
// positions, rain data, reserved words, checksum) and names the first place where they differ
// from what the writer lays down, with its byte offset. A pure function over a byte array:
// any byte sequence gives either a parse or a problem, and nothing is read outside the bytes.
#pragma once

#include "format/datafileLayout.h"
#include "format/rleCodec.h"
#include "format/rleFrame.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The sync header's fields in their stored order and widths.
struct datafileSyncHeader {
    uint16_t headerLength;
    uint16_t softwareVersion;
    uint16_t suSerialNr;
    double lineFrequency;
    uint16_t windowCentre;
    uint16_t windowLeft;
    uint16_t windowRight; // left + width
    float planeBackLeft;
    float planeBackRight;
    float planeFrontRight;
    float xscaleA;
    float xscaleB;
    float distanceA;
    float distanceB;
    uint16_t normVideoLevel;
    uint16_t threshold;
    uint32_t localSyncSecond; // sync second + local offset: wall-clock seconds
};

// One frame entry. Offsets count from the start of the file.
struct datafileEntry {
    int32_t offset;     // of the entry's camera field
    uint16_t cameraId;  // 1 = camera A, 2 = camera B
    uint16_t numLines;  // as stored (low 16 bits of the frame's lines)
    int32_t dataOffset; // of the frame data: header word, line position, payload
    int32_t dataLength; // bytes of frame data (the stored length minus 2)
    // compressedSize, minOffset and code widths from the header word; numLines from the entry.
    rleFrameHeader header;
    double linePosition; // of the frame's first line, lines since local midnight of the sync day
};

struct datafileContent {
    bool syncHeaderRead; // all 56 header bytes were read
    datafileSyncHeader sync;
    std::vector<datafileEntry> entries; // as far as they could be read
    bool complete;                      // every block up to the checksum was read
    double endA;                        // end position of camera A's last record, 0.0 for none
    double endB;
    double intervalRest[INTERVAL_BLOCK_VALUES - 2];
    std::vector<uint8_t> rainData;
    uint16_t reserved[2];
    int16_t reservedSigned[2];
    // The checksum is judged on its own: the last four bytes against the byte sum of all
    // before them, whatever the layout (files of at least 4 bytes and at most the writer's
    // buffer size).
    bool checksumPresent;
    uint32_t storedChecksum;
    uint32_t computedChecksum;
    bool checksumMatches;
};

// The first place where a datafile differs from the layout; offset -1 when there is none.
struct datafileProblem {
    int64_t offset;
    std::string field;    // what was being read, e.g. "frame entry 3 camera"
    std::string expected; // e.g. "1 or 2"
    std::string found;    // e.g. "7"
};

// "at byte 120: frame entry 2 camera: expected 1 or 2, found 7"; empty when there is none.
std::string describeProblem(const datafileProblem& problem);

// Reads `size` bytes at `bytes` as a datafile into `content`. True when the layout holds from
// the first to the last byte and the checksum matches; otherwise `problem` names the first
// place that does not, and `content` holds what was read before it.
bool readDatafile(const uint8_t* bytes, size_t size, datafileContent* content,
                  datafileProblem* problem);

// Decodes the frame data of `entry` (from readDatafile over the same bytes) into camera lines,
// repeat codes expanded; 0, or -1 when the data are damaged or lie outside the bytes.
int decodeDatafileEntry(const uint8_t* bytes, size_t size, const datafileEntry& entry,
                        std::vector<shadowLine>* lines);

// The local second count of the interval start that a datafile name stands for
// ("01700006.430" gives 1700006430); -1 when `name` is not a datafile name.
int64_t datafileLocalSecond(const QString& name);
