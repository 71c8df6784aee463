// The header of a transfer file as bytes: a 56-byte block with the marker, the camera's
// parameters, the syncId and line counter of the first line and the body length; a 10-byte
// trailer closes the file. Pure functions over a buffer, used by the reader and the fuzzers.
#pragma once

#include "config/cameraParams.h"
#include "format/cmprBuffer.h"

// Size of the transfer file header and trailer.
const int TRANSFER_HEADER_SIZE = 56;
const int TRANSFER_TRAILER_SIZE = 10;

// Fills `params` (reset first) from the 42 parameter bytes of a transfer file header at the
// read cursor of `source`; 0, or -1 when the bytes are not a header.
int parseTransferHeader(cmprBuffer* source, cameraParams* params);
