// The files a camera computer places in its directories, each appearing at once under its
// final name, and the contents of its norm-video files.
#pragma once

#include "config/cameraParams.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <random>

// Appended to a file's name while it is being written.
extern const char* const CAMERA_TEMP_SUFFIX;
// Lines of a norm-video file: one per sensor pixel.
const int NORM_VIDEO_LINES = 1200;

// Writes `bytes` as `dir`/`name`: under that name plus ".tmp", which no file-name filter of
// the station matches, then renamed. False when the file could not be written or `name` exists
// already (an existing file is never replaced); no temporary file stays behind.
bool writeFileAtomically(const QString& dir, const QString& name, const QByteArray& bytes);

// A count of microseconds since the epoch, zero-padded to 16 digits: input files named by the
// time of writing are taken by the station, in name order, in the order they were written.
QString timeStampName(long long microseconds);

// "A" or "B" and ".a.cam" or ".b.cam" of a camera role.
char cameraLetter(int camera);
QString cameraSuffix(int camera);

// A norm-video file as the camera writes it after normalising with `params`: the line
// "<norm video level> 1200", then per pixel "<pixel> <in window> <raw> <normalised> <gain %>
// <offset>", raw levels following the lamp's brightness across the sensor.
QByteArray normVideoText(const cameraParams& params, std::mt19937_64& random);

// "YYYY-MM-DD hh:mm:ss.mmm" (UTC) of a time in seconds since the epoch.
QString utcTimeText(double seconds);
