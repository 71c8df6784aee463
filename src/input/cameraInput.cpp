#include "input/cameraInput.h"

#include "log/messageLog.h"

#include "platform/fileOps.h"
#include "platform/shareFiles.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const POLL_FUNCTION = "pProcessInputDirectory";
const char* const CAMERA_A_DRIVE = "A:\\";
const char* const CAMERA_B_DRIVE = "B:\\";
const char* const DEFAULT_WORK_DIR = "C:\\data\\temp\\";
const int32_t DEFAULT_POLL_INTERVAL = 3;
// A file set aside is tried again after this many seconds without a new message: what kept it
// back may have been the working directory (full for a while), not the file.
const int64_t SET_ASIDE_RETRY = 60;

// The filters follow the camera kind; an input of neither camera keeps bare suffixes that no
// camera's files match.
void setFilters(cameraInput* input) {
    const QChar letter = QLatin1Char(camFileLetter(input->camera()));
    const QString wildcard = isCamera(input->camera()) ? QStringLiteral("*") : QString();
    input->m_transferFilter = wildcard + QStringLiteral(".%1.cam").arg(letter);
    input->m_logFilter = wildcard + QStringLiteral(".log.%1.cam").arg(letter);
    input->m_normFilter = wildcard + QStringLiteral(".norm.%1.cam").arg(letter);
}

} // namespace

cameraInput::cameraInput(const syncListPtr& syncs, uint32_t kind)
    : cameraQueue(kind), m_rebootAtResync(false), m_pollInterval(DEFAULT_POLL_INTERVAL),
      m_lastFileSize(0), m_newRecordCount(0), m_syncList(syncs), m_waitingIndex(0),
      m_listingStale(true), m_lastFileTaken(false) {
    setFilters(this);
    const QString drive = QLatin1String(camera() == cam::B ? CAMERA_B_DRIVE : CAMERA_A_DRIVE);
    m_inputDir = fromStationPath(drive);
    m_controlDir = fromStationPath(drive);
    m_workDir = fromStationPath(QLatin1String(DEFAULT_WORK_DIR));
}

void cameraInput::start() {
    prepareInput();
    if (cameraId() == 0)
        return;
    // Files of an earlier run can no longer be placed in time; camera logs still reach the
    // daily logs. Logs waiting in the input directory follow the same way before the first
    // poll.
    pClearWorkDir();
    QStringList logs;
    if (directoryExists(m_inputDir) && listFiles(m_inputDir, m_logFilter, &logs) &&
        !logs.isEmpty()) {
        moveIntoWorkDir(m_inputDir, logs);
        pFlushWorkLogs();
    }
}

cameraInput::~cameraInput() = default;

bool cameraInput::prepareInput() {
    setFilters(this);
    bool valid = isCamera(camera());
    // Every directory is made absolute and checked, even after one has failed.
    for (QString* dir : {&m_inputDir, &m_controlDir, &m_workDir}) {
        QString absolute = absoluteDirectory(*dir);
        if (absolute.isEmpty())
            valid = false;
        else
            *dir = absolute;
        if (!directoryExists(*dir))
            valid = false;
    }
    m_listingStale = true;
    m_moveCommand.clear();
    if (valid)
        m_moveCommand = QStringLiteral("move ") + joinPath(m_inputDir, m_transferFilter) +
                        QLatin1Char(' ') + m_workDir + QStringLiteral(" > nul");
    return valid;
}

uint8_t cameraInput::collectInput() {
    if (!pProcessInputDirectory())
        return 0;
    QStringList names;
    if (!directoryExists(m_workDir) || !listFiles(m_workDir, m_transferFilter, &names)) {
        m_listingStale = true;
        return 0;
    }
    // This listing is also the one processNextFile goes on with.
    takeListing(names);
    uint8_t flags = 0;
    for (const QString& name : names) {
        flags |= INPUT_TRANSFER;
        if (fileNameMatches(m_normFilter, name))
            flags |= INPUT_NORM;
        if (fileNameMatches(m_logFilter, name))
            flags |= INPUT_LOG;
    }
    return flags;
}

bool cameraInput::removeWorkFiles() {
    return pClearWorkDir();
}

bool cameraInput::pProcessInputDirectory() {
    QStringList names;
    if (!directoryExists(m_inputDir) || !listFiles(m_inputDir, m_transferFilter, &names))
        return false;
    noteUnusableInput(names);
    if (names.isEmpty())
        return false;
    // One bad file never stops the others: only a poll that cannot move anything at all (the
    // input was refused at start, or the working directory is gone) fails as a whole.
    if (!m_moveCommand.isEmpty() && directoryExists(m_workDir)) {
        moveIntoWorkDir(m_inputDir, names);
        return true;
    }
    const QString function = QLatin1String(POLL_FUNCTION);
    logToStandardError(severity::error, errorKind::inputFile,
                       QStringLiteral("%1 : error : unable to execute mv command\n").arg(function));
    if (!m_moveCommand.isEmpty())
        logToStandardError(severity::info, errorKind::none,
                           QStringLiteral("%1 : info  : mv command : %2\n")
                               .arg(function, shownName(m_moveCommand)));
    return false;
}

void cameraInput::moveIntoWorkDir(const QString& fromDir, const QStringList& names) {
    const int64_t now = currentSecond();
    for (const QString& name : names) {
        const QString target = joinPath(m_workDir, name);
        // A file of the same name still waits to be processed: this one follows at a later
        // poll, once that one is gone, and so do the files after it in name order, or they
        // would be read before it and its lines refused as out of time order. A file that
        // could not be removed is never handled again: it holds back its twin only.
        if (fileExists(target)) {
            if (!m_undeleted.contains(name))
                break;
            continue;
        }
        const QString source = joinPath(fromDir, name);
        const QByteArray raw = nativePath(name);
        fileStamp stamp;
        stampFile(source, &stamp);
        auto aside = m_setAside.constFind(raw);
        if (aside != m_setAside.constEnd() && aside->stamp == stamp &&
            now < aside->since + SET_ASIDE_RETRY)
            continue;
        if (tooLarge(name, stamp.size)) {
            if (!removeFile(source))
                setAside(raw, stamp, QStringLiteral("unable to remove it"));
            continue;
        }
        const int error = moveFileNoReplaceErrno(source, target);
        // Still open on the camera computer (the share refuses to let it go), or the share did
        // not answer in time (the loop tells that): not yet, and the files after it wait with
        // it for a later poll, to keep their order. Nothing is reported for the file.
        if (error == EBUSY || error == ETIMEDOUT)
            break;
        if (error == 0) {
            m_setAside.remove(raw);
            m_listingStale = true;
        } else if (!fileExists(target)) {
            setAside(raw, stamp,
                     QStringLiteral("unable to move it into the working directory (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(error))));
        }
    }
}

void cameraInput::noteUnusableInput(const QStringList& names) {
    const QList<unusableEntry> unusable = listUnusableEntries(m_inputDir, m_transferFilter);
    // A set-aside file that has gone (taken away by hand, or moved at last) is forgotten.
    for (auto it = m_setAside.begin(); it != m_setAside.end();) {
        bool present = names.contains(QFile::decodeName(it.key()));
        for (const unusableEntry& entry : unusable)
            present = present || entry.rawName == it.key();
        if (present)
            ++it;
        else
            it = m_setAside.erase(it);
    }
    for (const unusableEntry& entry : unusable)
        if (!m_setAside.contains(entry.rawName))
            setAside(entry.rawName, fileStamp(), QString::fromLatin1(entry.reason));
}

void cameraInput::setAside(const QByteArray& rawName, const fileStamp& stamp,
                           const QString& reason) {
    auto it = m_setAside.find(rawName);
    const bool reported = it != m_setAside.end() && it->stamp == stamp;
    m_setAside.insert(rawName, setAsideFile{stamp, currentSecond()});
    if (!reported)
        logError(
            errorKind::inputFile,
            QStringLiteral("error : input file %1 set aside : %2").arg(shownName(rawName), reason));
}

bool cameraInput::tooLarge(const QString& name, uint64_t size) const {
    const int64_t limit = fileNameMatches(m_logFilter, name)    ? MAX_LOG_FILE_SIZE
                          : fileNameMatches(m_normFilter, name) ? MAX_NORM_FILE_SIZE
                                                                : MAX_TRANSFER_FILE_SIZE;
    if (int64_t(size) <= limit)
        return false;
    logError(errorKind::inputFile, QStringLiteral("error : input file %1 refused : %2 bytes, more "
                                                  "than the %3 bytes such a file can hold -> "
                                                  "removed")
                                       .arg(shownName(name))
                                       .arg(qulonglong(size))
                                       .arg(qlonglong(limit)));
    return true;
}

bool cameraInput::pFlushWorkLogs() {
    QStringList names;
    if (!listFiles(m_workDir, m_logFilter, &names))
        return false;
    bool ok = true;
    for (const QString& name : names) {
        uint64_t size = 0;
        bool removed = false;
        pTakeFile(name, &size, &removed);
        ok = removed && ok;
    }
    m_listingStale = true;
    return ok;
}

bool cameraInput::pClearWorkDir() {
    if (cameraId() == 0 || !directoryExists(m_workDir))
        return false;
    bool ok = pFlushWorkLogs();
    QStringList names;
    ok = listFiles(m_workDir, m_transferFilter, &names) && ok;
    for (const QString& name : names)
        ok = removeFile(joinPath(m_workDir, name)) && ok;
    m_listingStale = true;
    return ok;
}
