// Where the station configuration meets the objects it configures: each camera input reads
// the file with its own keys, and the keys of both cameras go to the process-wide log
// directory, the shared sync list and the video snapshot.
#pragma once

#include "input/cameraInput.h"

#include <memory>

// Applies the station configuration at `path` to `input` (and to the process-wide log
// directory, the input's sync list and the video snapshot). Each rejected entry is reported on
// standard error. True when the file was opened and parsed.
bool pProcessConfFile(cameraInput* input, const char* path);

// The input of camera `kind`: defaults, the station configuration at `configPath` (none when
// null), then started.
std::unique_ptr<cameraInput> makeCameraInput(const syncListPtr& syncs, uint32_t kind,
                                             const char* configPath);
