#include "kiv_inspect/inputFile.h"

#include <QFile>
#include <QFileInfo>

bool readInputFile(const QString& path, int64_t limit, QByteArray* bytes, QString* error) {
    QFile file(path);
    if (QFileInfo(path).isDir()) {
        *error = QStringLiteral("%1 is a directory").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString baseName(const QString& path) {
    return QFileInfo(path).fileName();
}
