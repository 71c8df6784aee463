#include "input/logDirectory.h"

#include "config/camera.h"

#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include <cstdio>

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
    // The camera's file: not a link or FIFO put in its place.
    FILE* source = openRegularFile(logFilePath);
    FILE* daily = source ? openFile(dailyPath, "a") : nullptr;
    if (!daily || !source) {
        if (daily)
            std::fclose(daily);
        if (source)
            std::fclose(source);
        return false;
    }
    bool ok = std::fputs(SEPARATOR, daily) >= 0 &&
              std::fprintf(daily, "# input from file : %s\n",
                           shownName(logFilePath).toUtf8().constData()) >= 0 &&
              std::fputs(SEPARATOR, daily) >= 0;
    // Copied in pieces of fixed size: a line without end takes no more memory than any other.
    char piece[8192];
    size_t length = 0;
    char last = '\n';
    while (ok && (length = std::fread(piece, 1, sizeof piece, source)) > 0) {
        ok = std::fwrite(piece, 1, length, daily) == length;
        last = piece[length - 1];
    }
    ok = ok && !std::ferror(source);
    if (ok && last != '\n')
        ok = std::fputc('\n', daily) != EOF;
    ok = ok && std::fputs("# \n", daily) >= 0;
    // The block must be complete on disk when the append reports success.
    ok = syncFile(daily, dailyPath) && ok;
    ok = std::fclose(daily) == 0 && ok;
    std::fclose(source);
    return ok;
}
