// How one camera sees the rain: the shadow each drop casts on the camera's lines while it
// crosses the camera's light plane, and the run-length frames of a stretch of lines. Camera B
// looks at a plane a few millimetres below camera A's, so it sees every drop a little later.
#pragma once

#include "rainModel.h"

#include "format/rleCodec.h"
#include "format/transferWriter.h"

#include <cstdint>
#include <vector>

// Widest shadow a drop casts, pixels.
const uint16_t SHADOW_MAX_WIDTH = 60;

struct cameraView {
    double measureStart;  // seconds since the epoch of line 0
    double lineFrequency; // Hz
    uint32_t width;       // pixels of the capture window
    double xscale;        // mm per pixel
    double planeDepth;    // mm the camera's plane lies below the upper plane (0 for camera A)
};

// The shadow of one drop: `numLines` lines from `firstLine` (which may lie before line 0),
// at most `width` pixels wide, its widest line starting at `left`.
struct dropShadow {
    int64_t firstLine;
    uint32_t numLines;
    uint16_t left;
    uint16_t width;
};

// False when the window is too narrow for any shadow.
bool shadowOf(const rainDrop& drop, const cameraView& view, dropShadow* shadow);

// The chord of the (round) drop in line `k` (0 .. numLines - 1) of its shadow.
shadowSegment shadowChord(const dropShadow& shadow, uint32_t k);

// The shadows that touch the lines `fromLine` .. `toLine` - 1, in order of their first line.
std::vector<dropShadow> shadowsBetween(const rainModel& rain, const cameraView& view,
                                       uint64_t fromLine, uint64_t toLine);

// The frames of the lines `fromLine` .. `toLine` - 1: one run of frames for every stretch of
// lines with shadows, none for the dry lines between them. 0, or -1 when a stretch cannot
// be encoded.
int rainFrames(const rainModel& rain, const cameraView& view, uint64_t fromLine, uint64_t toLine,
               uint16_t syncId, std::vector<frameBytes>* frames);
