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
// A file set aside is tried again after this many seconds without a new message: what kept it
// back may have been the working directory (full for a while), not the file.
const int64_t SET_ASIDE_RETRY = 60;

// The move the poll makes, as the messages name it.
QString moveText(const QString& inputDir, const QString& filter, const QString& workDir) {
    return QStringLiteral("move ") + joinPath(inputDir, filter) + QLatin1Char(' ') + workDir +
           QStringLiteral(" > nul");
}

} // namespace

cameraInput::cameraInput(const syncListPtr& syncs, uint32_t kind)
    : m_queue(kind), m_syncList(syncs), m_share(&m_localShare) {
    const QString drive = QLatin1String(camera() == cam::B ? CAMERA_B_DRIVE : CAMERA_A_DRIVE);
    m_inputDir = fromStationPath(drive);
    m_controlDir = fromStationPath(drive);
    m_workDir = fromStationPath(QLatin1String(DEFAULT_WORK_DIR));
    // The filters follow the camera kind; an input of neither camera keeps bare suffixes that
    // no camera's files match.
    const QChar letter = QLatin1Char(camFileLetter(camera()));
    const QString wildcard = isCamera(camera()) ? QStringLiteral("*") : QString();
    m_transferFilter = wildcard + QStringLiteral(".%1.cam").arg(letter);
    m_logFilter = wildcard + QStringLiteral(".log.%1.cam").arg(letter);
    m_normFilter = wildcard + QStringLiteral(".norm.%1.cam").arg(letter);
}

cameraInput::~cameraInput() = default;

cameraInputConfig cameraInput::config() const {
    return cameraInputConfig{m_inputDir, m_controlDir, m_workDir, m_rebootAtResync};
}

void cameraInput::configure(const cameraInputConfig& config) {
    m_inputDir = config.inputDir;
    m_controlDir = config.controlDir;
    m_workDir = config.workDir;
    m_rebootAtResync = config.rebootAtResync;
}

void cameraInput::useShare(cameraShare* share) {
    m_share = share ? share : &m_localShare;
}

void cameraInput::start() {
    prepareInput();
    if (cameraId() == 0)
        return;
    // Files of an earlier run can no longer be placed in time; camera logs still reach the
    // daily logs. Logs waiting in the input directory follow the same way before the first
    // poll.
    pClearWorkDir();
    const fileResult<shareListing> logs = m_share->list(m_inputDir, m_logFilter);
    if (logs && !logs.value.names.isEmpty()) {
        moveIntoWorkDir(logs.value.names);
        pFlushWorkLogs();
    }
}

bool cameraInput::prepareInput() {
    bool valid = isCamera(camera());
    m_unanswered = false;
    // Every directory is made absolute and checked, even after one has failed; the camera's
    // own through its share.
    for (QString* dir : {&m_inputDir, &m_controlDir, &m_workDir}) {
        QString absolute = absoluteDirectory(*dir);
        if (absolute.isEmpty())
            valid = false;
        else
            *dir = absolute;
        if (dir == &m_workDir) {
            valid = directoryExists(*dir) && valid;
            continue;
        }
        const fileResult<fileInfo> there = m_share->stat(*dir);
        m_unanswered = m_unanswered || there.unanswered();
        valid = there.value.directory && valid;
    }
    m_listingStale = true;
    m_valid = valid;
    return valid;
}

uint8_t cameraInput::collectInput() {
    if (!pProcessInputDirectory())
        return 0;
    const fileResult<QStringList> listed = directoryExists(m_workDir)
                                               ? listFiles(m_workDir, m_transferFilter)
                                               : fileResult<QStringList>::failure(ENOENT);
    if (!listed) {
        m_listingStale = true;
        return 0;
    }
    const QStringList& names = listed.value;
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
    // An input whose directories were not there (a share mounted late, a camera computer
    // that came up after the station) or whose share did not answer is checked again at every
    // poll, once its share answers: the camera joins when its directories are there, rather
    // than being refused for the rest of the run.
    if (!m_valid && isCamera(camera())) {
        if (m_share->stalled())
            return false;
        prepareInput();
        if (m_unanswered)
            return false;
    }
    if (!settleLateMove())
        return false;
    // Names and unusable entries come from one listing: a share that does not answer gives
    // neither, so nothing set aside is forgotten and told again.
    const fileResult<shareListing> listing = m_share->list(m_inputDir, m_transferFilter);
    if (!listing)
        return false;
    noteUnusableInput(listing.value);
    if (listing.value.names.isEmpty())
        return false;
    // One bad file never stops the others: only a poll that cannot move anything at all (the
    // input was refused at start, or the working directory is gone) fails as a whole.
    if (m_valid && directoryExists(m_workDir)) {
        moveIntoWorkDir(listing.value.names);
        return true;
    }
    const QString function = QLatin1String(POLL_FUNCTION);
    logToStandardError(severity::error, errorKind::inputFile,
                       QStringLiteral("%1 : error : unable to execute mv command\n").arg(function));
    if (m_valid)
        logToStandardError(
            severity::info, errorKind::none,
            QStringLiteral("%1 : info  : mv command : %2\n")
                .arg(function, shownName(moveText(m_inputDir, m_transferFilter, m_workDir))));
    return false;
}

void cameraInput::moveIntoWorkDir(const QStringList& names) {
    const int64_t now = currentSecond();
    // A file whose move failed, until the next file tells whether it was the file (the next
    // one moves: it is set aside) or the working directory (the next one fails too: both wait).
    refusedMove refused;
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
        const QString source = joinPath(m_inputDir, name);
        const QByteArray raw = nativePath(name);
        const fileResult<fileInfo> info = m_share->stat(source);
        // A share that does not answer tells nothing of the file: it and the files after it
        // wait for a later poll, and nothing is reported. One gone since the listing is passed.
        if (info.unanswered())
            break;
        if (!info)
            continue;
        const fileStamp stamp = info.value.stamp;
        auto aside = m_setAside.constFind(raw);
        if (aside != m_setAside.constEnd() && aside->stamp == stamp &&
            now < aside->since + SET_ASIDE_RETRY)
            continue;
        if (tooLarge(name, stamp.size)) {
            const fileResult<> removed = m_share->remove(source);
            if (removed.unanswered())
                break;
            if (!removed)
                setAside(raw, stamp, QStringLiteral("unable to remove it"));
            continue;
        }
        const fileResult<> moved = m_share->moveOut(source, target);
        // The share did not answer in time (the loop tells that): the move may still land.
        // The file is not taken from the working directory, nor anything after it moved,
        // until the share answers and the move is settled.
        if (moved.unanswered()) {
            m_lateMove = name;
            break;
        }
        // Still open on the camera computer (the share refuses to let it go): not yet, and the
        // files after it wait with it for a later poll, to keep their order. Nothing is
        // reported for the file.
        if (moved.failedWith(EBUSY))
            break;
        if (moved) {
            m_setAside.remove(raw);
            m_listingStale = true;
            m_heldBack.clear();
            m_holdTold = false;
            if (!refused.name.isEmpty())
                setAsideUnmovable(refused);
            refused = refusedMove();
        } else if (!fileExists(target)) {
            if (refused.name.isEmpty()) {
                refused = refusedMove{name, stamp, moved.error};
                continue;
            }
            if (holdBack(refused))
                return;
            refused = refusedMove{name, stamp, moved.error};
        }
    }
    // No later file to tell them apart: the file waits, as when the working directory refuses.
    if (!refused.name.isEmpty())
        (void)holdBack(refused);
}

bool cameraInput::holdBack(const refusedMove& refused) {
    const int64_t now = currentSecond();
    if (m_heldBack != refused.name) {
        m_heldBack = refused.name;
        m_heldSince = now;
    }
    if (now < m_heldSince + SET_ASIDE_RETRY) {
        if (!m_holdTold)
            logError(errorKind::inputFile,
                     QStringLiteral("warning : input file %1 cannot be moved into the working "
                                    "directory (%2) -> tried again first, the camera's later "
                                    "files wait")
                         .arg(shownName(refused.name),
                              QString::fromLocal8Bit(std::strerror(refused.error))));
        m_holdTold = true;
        return true;
    }
    m_heldBack.clear();
    setAsideUnmovable(refused);
    return false;
}

void cameraInput::setAsideUnmovable(const refusedMove& refused) {
    setAside(nativePath(refused.name), refused.stamp,
             QStringLiteral("unable to move it into the working directory (%1)")
                 .arg(QString::fromLocal8Bit(std::strerror(refused.error))));
}

bool cameraInput::settleLateMove() {
    if (m_lateMove.isEmpty())
        return true;
    if (m_share->stalled())
        return false;
    const fileResult<fileInfo> source = m_share->stat(joinPath(m_inputDir, m_lateMove));
    if (source.unanswered())
        return false;
    // Still in the input directory: the move did not happen, or took its copy back; a copy in
    // the working directory (from another share, whose source removal went unanswered) goes,
    // and the file is moved again. Gone from there: the file in the working directory is it.
    const QString target = joinPath(m_workDir, m_lateMove);
    if (source && fileExists(target))
        (void)removeFile(target); // a copy that stayed would hold back the file's next move
    m_lateMove.clear();
    m_listingStale = true;
    return true;
}

void cameraInput::noteUnusableInput(const shareListing& listing) {
    // A set-aside file that has gone (taken away by hand, or moved at last) is forgotten.
    for (auto it = m_setAside.begin(); it != m_setAside.end();) {
        bool present = listing.names.contains(QFile::decodeName(it.key()));
        for (const unusableEntry& entry : listing.unusable)
            present = present || entry.rawName == it.key();
        if (present)
            ++it;
        else
            it = m_setAside.erase(it);
    }
    for (const unusableEntry& entry : listing.unusable)
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
    const fileResult<QStringList> names = listFiles(m_workDir, m_logFilter);
    if (!names)
        return false;
    bool ok = true;
    for (const QString& name : names.value) {
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
    const fileResult<QStringList> names = listFiles(m_workDir, m_transferFilter);
    ok = names && ok;
    for (const QString& name : names.value)
        ok = removeFile(joinPath(m_workDir, name)) && ok;
    m_listingStale = true;
    return ok;
}
