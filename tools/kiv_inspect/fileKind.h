// Which of the station's files a file is, from its name and, for names the station does not
// give, from its first bytes: so that each is summarised as what it is and none is called a
// damaged datafile for being another kind.
#pragma once

#include <QByteArray>
#include <QString>

enum fileKind {
    KIND_DATAFILE,   // "01700027.130", or any file not recognised otherwise
    KIND_TRANSFER,   // "*.a.cam", "*.b.cam"
    KIND_NORM_VIDEO, // "*.norm.a.cam", "*.norm.b.cam"
    KIND_CAMERA_LOG, // "*.log.a.cam", "*.log.b.cam" and the daily "vYYDDD_1.a.log", ".b.log"
    KIND_SYNC_LIST,  // "vYYDDD_1.sync.log"
    KIND_VIDEO_DAT   // "video.dat", or a file that begins as one
};

// The kind of the file called `name` whose first bytes are `head` (any number of them).
fileKind kindOfFile(const QString& name, const QByteArray& head);
// "datafile", "transfer file", ...
const char* kindName(fileKind kind);
// 1 (A) or 2 (B) for a camera's file, from the letter before its suffix.
int cameraOfFile(const QString& name);
