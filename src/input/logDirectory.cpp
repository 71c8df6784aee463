#include "input/logDirectory.h"

#include "config/camera.h"

#include "platform/fileOps.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const DEFAULT_LOG_DIRECTORY = "C:\\data\\log\\";
const char* const SEPARATOR =
    "# -----------------------------------------------------------------------------\n";

} // namespace

QSharedPointer<logDirectory> logDirectory::instance() {
    static QSharedPointer<logDirectory> directory(new logDirectory());
    return directory;
}

logDirectory::logDirectory()
    : m_path(absoluteDirectory(QString::fromLatin1(DEFAULT_LOG_DIRECTORY))) {}

bool logDirectory::setPath(const QString& path) {
    return acceptDirectory(path, &m_path);
}

bool appendCameraLog(const logDirectory& directory, const QString& logFilePath, int kind) {
    if (!directoryExists(directory.path()) || !fileExists(logFilePath) ||
        !isCamera(camFromId(kind)))
        return false;
    QString name = localDayStem(currentSecond()) +
                   QStringLiteral(".%1.log").arg(QLatin1Char(camFileLetter(camFromId(kind))));
    QString dailyPath = joinPath(directory.path(), name);
    FILE* daily = openFile(dailyPath, "a");
    FILE* source = openFile(logFilePath, "r");
    if (!daily || !source) {
        if (daily)
            std::fclose(daily);
        if (source)
            std::fclose(source);
        return false;
    }
    bool ok =
        std::fputs(SEPARATOR, daily) >= 0 &&
        std::fprintf(daily, "# input from file : %s\n", nativePath(logFilePath).constData()) >= 0 &&
        std::fputs(SEPARATOR, daily) >= 0;
    char* line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while (ok && (length = getline(&line, &capacity, source)) > 0) {
        if (std::fwrite(line, 1, size_t(length), daily) != size_t(length))
            ok = false;
        else if (line[length - 1] != '\n' && std::fputc('\n', daily) == EOF)
            ok = false;
    }
    std::free(line);
    ok = ok && std::fputs("# \n", daily) >= 0;
    // The block must be complete on disk when the append reports success.
    ok = syncFile(daily, dailyPath) && ok;
    ok = std::fclose(daily) == 0 && ok;
    std::fclose(source);
    return ok;
}
