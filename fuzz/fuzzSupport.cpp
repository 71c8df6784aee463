#include "fuzzSupport.h"

#include "platform/stationClock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {

// In memory where there is such a file system: rewriting a file in place on a disk file
// system costs a flush at every input (ext4 flushes a truncated file when it is closed).
QTemporaryDir& scratch() {
    const QString shm = QStringLiteral("/dev/shm");
    const QString base = QDir(shm).exists() ? shm : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/kiv_fuzz_XXXXXX"));
    return dir;
}

} // namespace

void fuzzSetUp() {
    setenv("TZ", "UTC", 1);
    tzset();
    static simulatedClock clock(FUZZ_NOW);
    setStationClock(&clock);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

const QString& fuzzScratchDir() {
    static const QString path = scratch().path();
    return path;
}

QString fuzzWriteFile(const char* name, const uint8_t* data, size_t size) {
    const QString path = fuzzScratchDir() + QLatin1Char('/') + QLatin1String(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

QByteArray fuzzNativeFile(const char* name, const uint8_t* data, size_t size) {
    return QFile::encodeName(fuzzWriteFile(name, data, size));
}
