// Directory values as the station's configuration gives them. The station came from
// Windows: "\" is a path separator on every platform, and the Windows defaults ("A:\",
// "C:\data\3sec\") stay the defaults (on Linux they name folders below the working directory).
#pragma once

#include <QString>

// The value with every "\" turned into "/".
QString fromStationPath(const QString& value);

// Accepts `value` as a directory when it exists and can be made absolute; `absolute` then
// receives the absolute path (without a final "/"). False leaves `absolute` unchanged.
bool acceptDirectory(const QString& value, QString* absolute);

// The absolute form of a directory value, whether it exists or not.
QString absoluteDirectory(const QString& value);

// `dir` joined with `name`.
QString joinPath(const QString& dir, const QString& name);
