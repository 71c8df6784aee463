// Opening and creating files where someone else may have put something under the name: the
// station's own folders (anyone with write access can plant a link, a FIFO, a second name of
// another file or a directory there) and the camera shares. The one place that opens such names.
// Nothing is written through a link, nothing waits on a FIFO, and the kind of file is checked
// on the opened descriptor, so that nothing can be swapped in between a check and a use.
#pragma once

#include "platform/fileOps.h"
#include "platform/fileResult.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <functional>

// Creates `path` as a new, empty regular file for writing ("wb" or "w"): whatever waits under
// that name is removed first (a temporary file left by an earlier try, or a link, FIFO or file
// planted there; a link itself goes, never its target), then the file is created exclusively
// without following links. Null, with errno set, when that fails: EISDIR for a directory of
// that name (which is left), EACCES for an injected OPEN fault. `*removed` (when given) is
// set to what was removed that was no plain file of the station's own, as strangerUnder names
// it, and to null otherwise.
FILE* createFreshFile(const QString& path, const char* mode = "wb",
                      const fileHooks& hooks = fileHooks::installed(),
                      const char** removed = nullptr);

// Creates `path` as createFreshFile does, fills it through `fill` (false when a write failed,
// errno set) and closes it: 0, or the errno of what failed (EIO when none was set). A file
// that was made but not filled stays for the caller, who knows whether a part of it is worth
// keeping. `*removed` as for createFreshFile.
int fillFreshFile(const QString& path, const char* mode, const std::function<bool(FILE*)>& fill,
                  const char** removed = nullptr);

// Opens the station's own file `path` for reading ("r", "rb") or appending ("a", "ab"; created
// when absent): a link is not followed, a FIFO does not block the opening, and the opened file
// must be a regular file with one name. Null, with errno set, otherwise: ELOOP for a link
// (also one that leads nowhere), EMLINK for a file with a second name, EISDIR for a directory,
// EINVAL for anything else that is no regular file (a FIFO, a device).
FILE* openOwnFile(const QString& path, const char* mode,
                  const fileHooks& hooks = fileHooks::installed());

// Opens `path` for reading when it is a regular file, as openOwnFile does, but a second name
// is allowed: for the files on the camera shares, which the station does not own.
FILE* openRegularFile(const QString& path);

// The descriptor of `path` opened for reading as openRegularFile opens it, and in `*size` the
// file's size at the opening: for a file read whole in a few large reads, without a stream's
// buffer and calls. -1 with errno as for openRegularFile.
int openRegularDescriptor(const QString& path, int64_t* size);

// Opens a configuration file for reading: a link is followed (the package links the
// station's configuration into /etc/acquire_kiv), but what it reaches must be a regular file,
// and a FIFO does not block the opening. Null, with errno set, otherwise: EISDIR for a
// directory, EINVAL for anything else that is no regular file.
FILE* openConfigFile(const QString& path);

// The descriptor under all three: `flags` (O_RDONLY, O_RDWR, O_WRONLY | O_APPEND, with O_CREAT
// to create an absent file) opened without blocking and, unless `followLinks`, without
// following a link; checked to be a regular file (with one name when `oneName`), and blocking
// again for its reads and writes. -1 with errno as for openOwnFile.
int openPlainDescriptor(const QString& path, int flags, bool oneName, bool followLinks = false);

// What stands under `path` when it is no plain file of the station's own ("a link", "a FIFO",
// "a directory", "a second name of another file", "no regular file"); null when nothing
// stands there or a regular file with one name. For the messages only: the opening above is
// what keeps the station safe.
const char* strangerUnder(const QString& path);

// True when anything stands under `path`, also a link that leads nowhere.
bool nameTaken(const QString& path);

// True when a directory stands under `path` itself, not a link to one.
bool isOwnDirectory(const QString& path);

// Makes the directory `path` of the station's own (and its parents) unless it exists, and
// makes the new entry durable. Done when a directory stands there afterwards, a link to one
// does not count: failed with ELOOP for a link, ENOTDIR for anything else.
fileResult<> makeOwnDirectory(const QString& path);

// True for the errnos with which the openings above refuse what is no plain file of the
// station's own (ELOOP, EMLINK, EISDIR, EINVAL), as against a failure of the disk or rights.
bool refusedAsNotOwn(int error);

// Why a file of the station's own was refused, for the messages: the errnos above in words,
// any other errno as the system words it.
QString refusalText(int error);
