// The station folder that every test and benchmark runs in, laid out as scripts/demo lays
// out a station: the input and control directory of each camera, the working, log, sync list
// and datafile directories, and "acquire_kiv.set" naming them by absolute path.
#pragma once

#include <QByteArray>
#include <QString>

// Lays out the station in the folder `root` (made when missing): cam_a/input, cam_a/control,
// cam_b/input, cam_b/control, temp (working directory), log, sync, and 3sec (datafiles and
// video.dat). Returns the path of its "acquire_kiv.set".
QString makeStationFolder(const QString& root);

// The directory "cam_a/input", "cam_b/control", ... of camera 1 or 2, relative to the folder;
// `which` is "input" or "control".
QString cameraDir(int camera, const char* which);

// Writes `bytes` to `path`; false when it could not be written whole.
bool writeWhole(const QString& path, const QByteArray& bytes);
