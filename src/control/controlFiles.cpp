#include "control/controlFiles.h"

#include "config/settingsFile.h"
#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationPath.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const CONNECT = "connect";
const char* const REQUEST_SYNC = "request.sync";
const char* const ACQUIRE_PAR = "acquire.par";
const char* const NORM_SUCCESS = "norm.success";
const char* const RESYNC = "resync";
const char* const REBOOT = "reboot";
const char* const CANCEL = "cancel";
const char* const PART = ".part";
const char* const CONNECT_CONTENT = "connect";
const char* const COMMAND_CONTENT = "1";

QString controlPath(const cameraInput& camera, const char* name) {
    return joinPath(camera.m_controlDir, QLatin1String(name));
}

QString partPath(const cameraInput& camera, const char* name) {
    return controlPath(camera, name) + QLatin1String(PART);
}

// Every change the station makes in a control directory is durable before the camera can see
// it: after a power cut the station must find the directory as the camera last saw it. A
// "connect" lost in the cut means no cancel at the restart, so a measuring camera never asks
// for parameters again and the handshake waits for ever; a "norm.success" that comes back
// would pass for the answer to the next normalisation. A failed directory sync leaves only
// the name at risk in a cut, which no retry here would make safer.
void syncControlDirectory(const cameraInput& camera) {
    (void)syncDirectory(camera.m_controlDir);
}

bool controlFilePresent(const cameraInput& camera, const char* name) {
    return directoryExists(camera.m_controlDir) && fileExists(controlPath(camera, name));
}

// Writes `content` as the whole text of `path`; true only when all of it reached the file.
// A file that could be opened but not completely written is removed again, so that no
// truncated command is ever delivered. False without a file when it cannot be opened. The
// control directory is the camera's share: whatever waits under the ".part" name is replaced
// by a new file, never written through or waited on.
bool writeControlText(const QString& path, const char* content) {
    FILE* file = createFreshFile(path, "w");
    if (!file)
        return false;
    const size_t length = std::strlen(content);
    bool ok = writeFile(file, content, length, path) == length;
    ok = syncFile(file, path) && ok;
    ok = std::fclose(file) == 0 && ok;
    if (!ok)
        removeFile(path);
    return ok;
}

// "resync", "reboot", "cancel": delivered unless the camera has not yet taken the previous
// one away; the ".part" then waits beside it.
void sendCommand(const cameraInput& camera, const char* name) {
    if (!directoryExists(camera.m_controlDir))
        return;
    const QString part = partPath(camera, name);
    // A command that could not be written leaves no ".part" behind and nothing is renamed. A
    // refused rename is the protocol's own case: the camera has not taken the previous command
    // away, the ".part" waits, and the next command of that name is renamed in its place.
    (void)writeControlText(part, COMMAND_CONTENT);
    if (fileExists(part) && renameNoReplace(part, controlPath(camera, name)))
        syncControlDirectory(camera);
}

} // namespace

bool isConnected(const cameraInput& camera) {
    return controlFilePresent(camera, CONNECT);
}

bool connectCamera(const cameraInput& camera) {
    if (!directoryExists(camera.m_controlDir))
        return false;
    const QString target = controlPath(camera, CONNECT);
    if (fileExists(target))
        return true;
    const QString part = partPath(camera, CONNECT);
    bool result = writeControlText(part, CONNECT_CONTENT);
    if (result && fileExists(part))
        result = renameNoReplace(part, target);
    if (fileExists(part))
        removeFile(part);
    syncControlDirectory(camera);
    return result;
}

bool requestSyncPresent(const cameraInput& camera) {
    return controlFilePresent(camera, REQUEST_SYNC);
}

bool normSuccessPresent(const cameraInput& camera) {
    return controlFilePresent(camera, NORM_SUCCESS);
}

bool removeNormSuccess(const cameraInput& camera) {
    bool removed = removeWithRetries(controlPath(camera, NORM_SUCCESS));
    syncControlDirectory(camera);
    return removed;
}

bool sendParameterFile(const cameraInput& camera, const cameraParams& params) {
    if (!directoryExists(camera.m_controlDir))
        return false;
    const QString target = controlPath(camera, ACQUIRE_PAR);
    const QString part = partPath(camera, ACQUIRE_PAR);
    // A ".part" left by an interrupted push: its "acquire.par" is of an earlier handshake.
    if (fileExists(part))
        removeFile(target);
    bool result = false;
    FILE* file = createFreshFile(part, "w");
    if (file) {
        result = writeCameraParams(file, &params) == 0;
        result = syncFile(file, part) && result;
        result = std::fclose(file) == 0 && result;
    }
    result = result && fileExists(part) && renameNoReplace(part, target);
    if (!result && fileExists(part))
        removeFile(part);
    syncControlDirectory(camera);
    return result;
}

void sendResync(const cameraInput& camera) {
    sendCommand(camera, RESYNC);
}

void sendReboot(const cameraInput& camera) {
    sendCommand(camera, REBOOT);
}

void sendCancel(const cameraInput& camera) {
    sendCommand(camera, CANCEL);
}
