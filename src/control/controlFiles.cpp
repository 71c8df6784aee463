#include "control/controlFiles.h"

#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationPath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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
    return joinPath(camera.controlDir(), QLatin1String(name));
}

QString partPath(const cameraInput& camera, const char* name) {
    return controlPath(camera, name) + QLatin1String(PART);
}

// Every change the station makes in a control directory is durable before the camera can see
// it (the share's rename and remove make it so): after a power cut the station must find the
// directory as the camera last saw it. A "connect" lost in the cut means no cancel at the
// restart, so a measuring camera never asks for parameters again and the handshake waits for
// ever; a "norm.success" that comes back would pass for the answer to the next normalisation.

// The control file `name` is there: the directory answered and holds it. One stat, which
// also says that the directory exists.
bool controlFilePresent(const cameraInput& camera, const char* name) {
    const fileResult<fileInfo> info = camera.share().stat(controlPath(camera, name));
    return info && !info.value.directory;
}

bool controlDirectoryThere(const cameraInput& camera) {
    return camera.share().stat(camera.controlDir()).value.directory;
}

// Writes `content` as the whole text of `path`; true only when all of it reached the file.
// A file that could be opened but not completely written is removed again, so that no
// truncated command is ever delivered. The control directory is the camera's share: whatever
// waits under the ".part" name is replaced by a new file, never written through or waited on,
// and the whole write is one operation bounded in time.
bool writeControlText(const cameraInput& camera, const QString& path, const QByteArray& content) {
    return bool(camera.share().writeNew(path, content));
}

// "resync", "reboot", "cancel": delivered unless the camera has not yet taken the previous
// one away; the ".part" then waits beside it.
void sendCommand(const cameraInput& camera, const char* name) {
    if (!controlDirectoryThere(camera))
        return;
    const QString part = partPath(camera, name);
    // A command that could not be written leaves no ".part" behind and nothing is renamed. A
    // refused rename is the protocol's own case: the camera has not taken the previous command
    // away, the ".part" waits, and the next command of that name is renamed in its place.
    (void)writeControlText(camera, part, QByteArray(COMMAND_CONTENT));
    if (camera.share().stat(part))
        (void)camera.share().rename(part, controlPath(camera, name));
}

} // namespace

bool isConnected(const cameraInput& camera) {
    return controlFilePresent(camera, CONNECT);
}

bool connectCamera(const cameraInput& camera) {
    if (!controlDirectoryThere(camera))
        return false;
    if (controlFilePresent(camera, CONNECT))
        return true;
    cameraShare& share = camera.share();
    const QString part = partPath(camera, CONNECT);
    bool result = writeControlText(camera, part, QByteArray(CONNECT_CONTENT));
    if (result && share.stat(part))
        result = bool(share.rename(part, controlPath(camera, CONNECT)));
    if (share.stat(part))
        (void)share.remove(part);
    return result;
}

bool requestSyncPresent(const cameraInput& camera) {
    return controlFilePresent(camera, REQUEST_SYNC);
}

bool normSuccessPresent(const cameraInput& camera) {
    return controlFilePresent(camera, NORM_SUCCESS);
}

normSuccessRemoval removeNormSuccess(const cameraInput& camera) {
    const QString path = controlPath(camera, NORM_SUCCESS);
    const fileResult<> removed = camera.share().remove(path);
    if (removed)
        return normSuccessRemoval::removed;
    // Still open on the camera computer (a share refuses to remove an open file): the camera
    // lets go of it soon, and the next cycle tries again. So does a share that did not answer.
    if (removed.failedWith(EBUSY) || removed.unanswered())
        return normSuccessRemoval::busy;
    const fileResult<fileInfo> still = camera.share().stat(path);
    if (still.unanswered())
        return normSuccessRemoval::busy;
    return still ? normSuccessRemoval::failed : normSuccessRemoval::removed;
}

bool sendParameterFile(const cameraInput& camera, const cameraParams& params) {
    if (!controlDirectoryThere(camera))
        return false;
    cameraShare& share = camera.share();
    const QString target = controlPath(camera, ACQUIRE_PAR);
    const QString part = partPath(camera, ACQUIRE_PAR);
    // A ".part" left by an interrupted push: its "acquire.par" is of an earlier handshake.
    if (share.stat(part))
        (void)share.remove(target);
    // The record is formatted here and written to the share in one bounded operation.
    char* text = nullptr;
    size_t length = 0;
    FILE* memory = open_memstream(&text, &length);
    bool result = memory && writeCameraParams(memory, &params) == 0;
    result = memory && std::fclose(memory) == 0 && result;
    const QByteArray bytes(text, qsizetype(length));
    std::free(text);
    result = result && writeControlText(camera, part, bytes);
    result = result && share.stat(part) && share.rename(part, target);
    if (!result && share.stat(part))
        (void)share.remove(part);
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
