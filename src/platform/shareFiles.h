// Files on the camera shares, which the camera computers and anyone with access to them can
// write: nothing found there is trusted to be what its name says. A file the station creates
// there never follows a link planted under its name; a file it reads from there is opened
// without following a link and without blocking on a FIFO, and checked to be a regular file
// on the opened descriptor, so that nothing can be swapped in between a check and a use.
// Names from the shares are shown escaped wherever the station writes them.
// The openings themselves are those of the station's own files (platform/ownFile.h).
// These calls are unbounded in time: on a camera share they run through the share's worker
// (platform/cameraShare.h), which is the only code that calls the whole-file ones there.
#pragma once

#include "platform/fileOps.h"
#include "platform/fileResult.h"
#include "platform/ownFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>

// Creates `path` as createFreshFile does, writes `bytes` as its whole content and syncs it, in
// one operation; a file that could not be written whole is removed again.
fileResult<> writeNewFile(const QString& path, const QByteArray& bytes,
                          const fileHooks& hooks = fileHooks::installed());

// The whole content of the regular file `path`, opened as openRegularFile opens it; failed
// with EFBIG when it holds more than `maxBytes`.
fileResult<QByteArray> readWholeFile(const QString& path, int64_t maxBytes);

// `name` as it is shown in every file, message and screen line the station writes: control
// characters (line ends, escape), bytes that are no valid UTF-8 and "\" as "\xNN".
QString shownName(const QByteArray& rawName);
QString shownName(const QString& name);
