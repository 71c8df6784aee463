// Processing of the files a poll moved into the working directory, one file per call in name
// order: norm-video files to the video snapshot, camera log files to the daily logs,
// transfer files into the camera's frame queue. Every handled file is deleted.
#include "input/cameraInput.h"
#include "input/logDirectory.h"
#include "input/transferFile.h"
#include "input/videoSnapshot.h"
#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationPath.h"

#include <algorithm>
#include <fnmatch.h>

namespace {

// A read buffer grown beyond this for one large file is given back afterwards; up to it, it is
// kept for the next file (heavy rain brings many files of a few hundred KiB).
const int32_t KEPT_READ_BUFFER_SIZE = 4 << 20;

// The kind of a file is judged on its whole path, without regard to case.
bool pathMatches(const QString& filter, const QByteArray& path) {
    return fnmatch(nativePath(filter).constData(), path.constData(), FNM_CASEFOLD) == 0;
}

} // namespace

void cameraInput::earlierRunFiles::add(const QString& name) {
    if (count++ == 0)
        first = name;
    last = name;
}

void cameraInput::earlierRunFiles::report(char camera) {
    if (count == 0)
        return;
    logWarning(QStringLiteral("warning : camera %1 : %2 transfer files of synchronisations made "
                              "before this run refused (%3 to %4) : their sync times are not "
                              "kept across a restart")
                   .arg(QLatin1Char(camera))
                   .arg(count)
                   .arg(shownName(first))
                   .arg(shownName(last)));
    count = 0;
}

uint8_t cameraInput::processNextFile() {
    m_lastFile = handledFile();
    if (!directoryExists(m_workDir)) {
        m_listingStale = true;
        return PROCESSED_NOTHING;
    }
    QString name;
    if (!nextWaitingFile(&name)) {
        // The files of an earlier run a restart finds are told in one line once handled.
        m_earlierRunFiles.report(camLetter(camFromId(cameraId())));
        return PROCESSED_NOTHING;
    }
    uint64_t size = 0;
    bool removed = false;
    // Shown on the screen and in the health files: escaped as every name from a share.
    m_lastFile.name = shownName(name);
    const uint8_t result = pTakeFile(name, &size, &removed);
    m_lastFile.size = uint32_t(size);
    m_lastFile.taken = removed;
    if (removed)
        ++m_waitingIndex;
    else
        m_listingStale = true;
    return result;
}

uint8_t cameraInput::pTakeFile(const QString& name, uint64_t* size, bool* removed) {
    const QString path = joinPath(m_workDir, name);
    const fileStamp stamp = stampFile(path).value;
    *size = stamp.size;
    uint8_t result = PROCESSED_NOTHING;
    QHash<QString, fileStamp>::const_iterator before = m_undeleted.constFind(name);
    // Handled before: only its removal is tried again. Too large: also a file that reached the
    // working directory another way (left by an earlier run) is refused.
    if ((before == m_undeleted.constEnd() || !(before.value() == stamp)) &&
        !tooLarge(name, stamp.size))
        result = handleFile(path, name);
    *removed = bool(removeFile(path));
    if (*removed) {
        m_undeleted.remove(name);
    } else {
        m_undeleted.insert(name, stamp);
        logError(errorKind::inputFile,
                 QStringLiteral("error : unable to remove input file %1").arg(shownName(name)));
    }
    return result;
}

uint8_t cameraInput::handleFile(const QString& path, const QString& name) {
    const QByteArray native = nativePath(path);
    if (pathMatches(m_normFilter, native)) {
        if (!fileExists(path) ||
            !videoSnapshot::instance().readVideoLineFile(path, int(cameraId()))) {
            logError(errorKind::inputFile,
                     QStringLiteral("error : unable to rename input norm video file to temp file"));
            return PROCESSED_NOTHING;
        }
        logInfo(QStringLiteral("processed norm video file %1").arg(shownName(path)));
        return PROCESSED_NORM;
    }
    if (pathMatches(m_logFilter, native)) {
        QSharedPointer<logDirectory> logs = logDirectory::instance();
        bool refused = false;
        if (!fileExists(path) || !logs ||
            !appendCameraLog(*logs, path, int(cameraId()), &refused)) {
            // A refused daily log was told once already; the camera's files go on as usual.
            if (!refused)
                logError(errorKind::inputFile,
                         QStringLiteral("error processing log file %1").arg(shownName(path)));
            return PROCESSED_NOTHING;
        }
        logInfo(QStringLiteral("processed log file %1").arg(shownName(path)));
        return PROCESSED_LOG;
    }
    if (pathMatches(m_transferFilter, native))
        return handleTransferFile(path, name);
    return PROCESSED_NOTHING;
}

uint8_t cameraInput::handleTransferFile(const QString& path, const QString& name) {
    const size_t count = m_queue.size();
    // The reader gets the whole path: a shortened one would name another file, or none.
    bool earlierRun = false;
    const bool read = m_syncList && readTransferFile(m_queue, path, *m_syncList, &earlierRun);
    // The frames hold copies of their bytes: the read buffer a large file grew is given back
    // rather than held for the rest of the run.
    cmprBufferPtr& buffer = m_queue.readBuffer();
    if (buffer && buffer->m_capacity > KEPT_READ_BUFFER_SIZE)
        buffer = makeCmprBuffer(QUEUE_READ_BUFFER_SIZE);
    if (earlierRun) {
        m_earlierRunFiles.add(name);
        return PROCESSED_NOTHING;
    }
    if (!read) {
        logError(errorKind::transferFile,
                 QStringLiteral("error : unable to process input data transfer file %1")
                     .arg(shownName(name)));
        return PROCESSED_NOTHING;
    }
    m_lastFile.newRecords = m_queue.size() > count ? uint32_t(m_queue.size() - count) : 0;
    return PROCESSED_TRANSFER;
}

bool cameraInput::nextWaitingFile(QString* name) {
    for (;;) {
        if (m_listingStale || m_waitingIndex >= m_waiting.size()) {
            takeListing(listFiles(m_workDir, m_transferFilter).value);
            if (m_waiting.isEmpty())
                return false;
            *name = m_waiting.front();
            // A file whose move has not been settled, and those after it, wait for that.
            return m_lateMove.isEmpty() || *name < m_lateMove;
        }
        *name = m_waiting[m_waitingIndex];
        if (!m_lateMove.isEmpty() && *name >= m_lateMove)
            return false;
        // Gone since the listing was taken (removed from outside): as if never listed.
        if (fileExists(joinPath(m_workDir, *name)))
            return true;
        ++m_waitingIndex;
    }
}

void cameraInput::takeListing(const QStringList& names) {
    m_waiting = names;
    m_waitingIndex = 0;
    m_listingStale = false;
    // A file that could not be removed and has gone since is forgotten.
    for (QHash<QString, fileStamp>::iterator it = m_undeleted.begin(); it != m_undeleted.end();) {
        if (std::binary_search(names.begin(), names.end(), it.key()))
            ++it;
        else
            it = m_undeleted.erase(it);
    }
}
