#include "platform/stationPath.h"

#include "platform/fileOps.h"

#include <QDir>
#include <QFileInfo>

QString fromStationPath(const QString& value) {
    QString path = value;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

QString absoluteDirectory(const QString& value) {
    QString path = fromStationPath(value);
    if (path.isEmpty())
        return QString();
    return QDir::cleanPath(QDir(path).absolutePath());
}

bool acceptDirectory(const QString& value, QString* absolute) {
    QString path = absoluteDirectory(value);
    if (path.isEmpty() || !directoryExists(path))
        return false;
    if (absolute)
        *absolute = path;
    return true;
}

QString joinPath(const QString& dir, const QString& name) {
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}
