// Where the station configuration meets the objects it configures: each camera input reads
// the file with its own keys, and the keys of both cameras go to the process-wide log
// directory, the shared sync list and the video snapshot.
#pragma once

#include "input/cameraInput.h"
#include "platform/cameraShare.h"

#include <memory>

// Applies the station configuration at `path` to `input` (and to the process-wide log
// directory, the input's sync list and the video snapshot). Each rejected entry is reported on
// standard error. True when the file was opened and parsed.
bool pProcessConfFile(cameraInput* input, const char* path);

// How long the loop waits for one operation on a camera share before it takes the share for
// stalled. A healthy share answers in milliseconds, and the largest transfer file a camera
// sends (14 MiB in 10 s) crosses a 100 Mbit/s network in under 1.5 s; a server that hangs
// holds a call 20 to 40 s. Well inside the service watchdog's 120 s, even for both cameras.
const int SHARE_CALL_BOUND_MS = 5000;

// The input of camera `kind`: defaults, the station configuration at `configPath` (none when
// null), then started. With `share`, the camera's input and control directories are reached
// through it from the start (platform/cameraShare.h); the caller keeps it for as long as the
// input lives.
std::unique_ptr<cameraInput> makeCameraInput(const syncListPtr& syncs, uint32_t kind,
                                             const char* configPath, cameraShare* share = nullptr);
