// The parameter records the station pushes to both cameras: read from "./camera.a.conf",
// "./camera.b.conf" and "./acquire.par", given each camera's role, the operation mode and the
// video levels, and sent as "acquire.par" into each camera's control directory.
#pragma once

#include "config/cameraParams.h"
#include "input/cameraInput.h"

// Prepares the records of camera A and B (and, when `station` is given, presets the station
// record) for `operationMode`; problems with the files are logged as warnings and the records
// are prepared with whatever was read.
void prepareParameterRecords(cameraParams* a, cameraParams* b, cameraParams* station,
                             int operationMode);

// Sends `params` to `camera`; on failure logs "error : unable to send acquire.par file to
// camera A" (or B) and returns false.
bool pushParameters(const cameraInput& camera, const cameraParams& params);

// Sends A's record to camera A and then, whatever came of that, B's to camera B; each failure
// adds its error line and "restarting". True when both were delivered.
bool pushToBoth(const cameraInput& a, const cameraParams& pa, const cameraInput& b,
                const cameraParams& pb);
