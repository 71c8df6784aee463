// The sizes that make up a datafile: the 56-byte sync header, the frame entries, the interval
// block, the rain data, the reserved words and the byte-sum checksum, and the largest file the
// writer assembles. The writer lays them down, the reader and the inspector take them apart.
#pragma once

#include <cstdint>

// Length of the serialised sync header that opens every datafile.
const int SYNC_HEADER_SIZE = 56;
// Bytes of the output buffer every datafile is assembled in.
const int32_t DATAFILE_BUFFER_SIZE = 4194304;
// The largest datafile: an interval of more frames than the buffer holds is assembled in a
// buffer grown for it, in powers of two up to the largest one a bit buffer can have.
const int32_t DATAFILE_MAX_SIZE = int32_t(1) << 30;
// More than two cameras deliver in one interval: a camera's transfer files stay below 64 MiB
// for the 10 seconds one covers at the most. A larger file is no datafile of the station's.
const int32_t DATAFILE_PLAUSIBLE_SIZE = int32_t(64) << 20;
const int32_t INTERVAL_BLOCK_SIZE = 160;
const int32_t RAIN_DATA_SIZE = 600;
// Camera, length and lines in front of every frame entry's data.
const int32_t DATAFILE_ENTRY_HEAD_SIZE = 6;
// Header word and f64 line position at the start of a frame's data.
const int32_t FRAME_DATA_HEAD_SIZE = 12;
const int32_t INTERVAL_BLOCK_VALUES = 20; // endA, endB and 18 more doubles
const int32_t RESERVED_BLOCK_SIZE = 8;
const int32_t DATAFILE_CHECKSUM_SIZE = 4;
// Everything after the frame entries has a fixed size.
const int32_t DATAFILE_TAIL_SIZE =
    INTERVAL_BLOCK_SIZE + RAIN_DATA_SIZE + RESERVED_BLOCK_SIZE + DATAFILE_CHECKSUM_SIZE;
// A datafile without frame entries.
const int32_t DATAFILE_MIN_SIZE = SYNC_HEADER_SIZE + DATAFILE_TAIL_SIZE;
