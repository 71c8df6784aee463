#include "input/logDirectory.h"

#include "config/camera.h"

#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/shareFiles.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include <cerrno>
#include <cstdio>

namespace {

const char* const DEFAULT_LOG_DIRECTORY = "C:\\data\\log\\";
const char* const SEPARATOR =
    "# -----------------------------------------------------------------------------\n";

// A camera's log as plain text: read in a terminal, its control characters (an escape
// sequence clears the screen or hides the lines before it) would act instead of showing. They
// are written as "\xHH"; a line end "\r\n" of a Windows camera computer becomes "\n".
class logText {
public:
    bool write(FILE* out, const char* bytes, size_t length) {
        for (size_t i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(bytes[i]);
            if (m_carriageReturn && c != '\n' && !put(out, "\\x0d"))
                return false;
            m_carriageReturn = c == '\r';
            if (m_carriageReturn)
                continue;
            if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(c));
                if (!put(out, escaped))
                    return false;
            } else if (std::fputc(c, out) == EOF) {
                return false;
            }
            m_last = char(c);
        }
        return true;
    }
    // Ends the copy on a line end of its own.
    bool finish(FILE* out) {
        if (m_carriageReturn && !put(out, "\\x0d"))
            return false;
        return m_last == '\n' || std::fputc('\n', out) != EOF;
    }

private:
    bool put(FILE* out, const char* text) {
        m_last = 'x';
        return std::fputs(text, out) >= 0;
    }

    bool m_carriageReturn = false;
    char m_last = '\n';
};

} // namespace

QSharedPointer<logDirectory> logDirectory::instance() {
    static QSharedPointer<logDirectory> directory(new logDirectory());
    return directory;
}

logDirectory::logDirectory()
    : m_path(absoluteDirectory(QString::fromLatin1(DEFAULT_LOG_DIRECTORY))) {}

bool logDirectory::setPath(const QString& path) {
    m_refusedTold.clear();
    return acceptDirectory(path, &m_path);
}

void logDirectory::tellRefused(const QString& dailyPath, const QString& reason) {
    if (m_refusedTold.contains(dailyPath))
        return;
    m_refusedTold.append(dailyPath);
    logWarning(QStringLiteral("warning : camera log %1 refused : %2 -> the cameras' logs of the "
                              "day are not kept")
                   .arg(shownName(dailyPath), reason));
}

bool appendCameraLog(logDirectory& directory, const QString& logFilePath, int kind, bool* refused) {
    if (refused)
        *refused = false;
    if (!directoryExists(directory.path()) || !fileExists(logFilePath) ||
        !isCamera(camFromId(kind)))
        return false;
    QString name = localDayStem(currentSecond()) +
                   QStringLiteral(".%1.log").arg(QLatin1Char(camFileLetter(camFromId(kind))));
    QString dailyPath = joinPath(directory.path(), name);
    // The camera's file: not a link or FIFO put in its place.
    FILE* source = openRegularFile(logFilePath);
    FILE* daily = source ? openOwnFile(dailyPath, "a") : nullptr;
    if (source && !daily && refusedAsNotOwn(errno)) {
        directory.tellRefused(dailyPath, refusalText(errno));
        if (refused)
            *refused = true;
    }
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
    logText text;
    while (ok && (length = std::fread(piece, 1, sizeof piece, source)) > 0)
        ok = text.write(daily, piece, length);
    ok = ok && !std::ferror(source) && text.finish(daily);
    ok = ok && std::fputs("# \n", daily) >= 0;
    // The block must be complete on disk when the append reports success.
    ok = syncFile(daily, dailyPath) && ok;
    ok = std::fclose(daily) == 0 && ok;
    std::fclose(source);
    if (ok)
        directory.appended(dailyPath);
    return ok;
}
