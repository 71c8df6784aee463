// The control files through which the station steers a camera computer: "connect",
// "acquire.par", "resync", "reboot", "cancel" written through ".part" names and renamed
// without ever replacing a file the camera has not yet taken away, and the camera's answers
// "request.sync" and "norm.success".
#pragma once

#include "config/cameraParams.h"
#include "input/cameraInput.h"

// "connect" exists in the camera's control directory.
bool isConnected(const cameraInput& camera);
// Places "connect" (nothing is written when it exists already).
bool connectCamera(const cameraInput& camera);
bool requestSyncPresent(const cameraInput& camera);
bool normSuccessPresent(const cameraInput& camera);
// What became of "norm.success": removed (or gone already); busy, still there because the
// camera holds it open or the share did not answer in time, to be tried again; failed, there
// and refused for another reason.
enum class normSuccessRemoval { removed, busy, failed };
normSuccessRemoval removeNormSuccess(const cameraInput& camera);
// Pushes `params` as "acquire.par"; false while the previous one is still there.
bool sendParameterFile(const cameraInput& camera, const cameraParams& params);
void sendResync(const cameraInput& camera);
void sendReboot(const cameraInput& camera);
void sendCancel(const cameraInput& camera);
