#include "output/datafileWriter.h"

#include "config/settingsFile.h"
#include "format/datafileReader.h"
#include "log/messageLog.h"
#include "output/frameOrder.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/shareFiles.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

const char* const DEFAULT_OUTPUT_DIRECTORY = "C:\\data\\3sec\\";
const int32_t RAIN_DATA_BLOCK_CAPACITY = 604;
const int32_t RESERVED_BLOCK_CAPACITY = 12;
const int ZERO_PAIRS = 9;

// A block of `capacity` bytes holding `used` zero bytes, ready to be appended.
cmprBufferPtr zeroBlock(int32_t capacity, int32_t used) {
    cmprBufferPtr block = makeCmprBuffer(capacity);
    if (block && cmprFill(block.data(), used, nullptr) != 0)
        block.reset();
    return block;
}

bool appendBlock(cmprBuffer* out, const cmprBufferPtr& block) {
    return block && cmprCopy(out, block->m_data, block->m_writeSize) == 0;
}

// The end position a record gives its camera in the interval block.
double endPosition(const frameRecord& record) {
    if (record.isEmpty)
        return record.linePosition;
    return record.linePosition + double(record.header.numLines & 0xFFFF);
}

// Camera, length of lines and data, lines: the three 16-bit words in front of the frame data.
const int32_t ENTRY_HEAD_SIZE = 6;

bool appendFrameEntry(cmprBuffer* out, const frameRecord& record) {
    const cmprBuffer* data = record.data.data();
    if (!data)
        return false;
    // Laid out here and copied in one piece: an interval may hold 150,000 entries.
    const uint16_t words[3] = {uint16_t(record.cameraId), uint16_t(data->m_writeSize + 2),
                               uint16_t(record.header.numLines & 0xFFFF)};
    if (data->m_writeSize <= 0)
        return false;
    uint8_t* entry = cmprReserve(out, ENTRY_HEAD_SIZE + data->m_writeSize);
    if (!entry)
        return false;
    std::memcpy(entry, words, ENTRY_HEAD_SIZE);
    std::memcpy(entry + ENTRY_HEAD_SIZE, data->m_data, size_t(data->m_writeSize));
    return true;
}

// Bytes of the datafile of the first interval of `paired`, with some to spare for the
// bit buffer's flush.
int64_t intervalBytes(const pairedQueue& paired) {
    int64_t bytes = SYNC_HEADER_SIZE + DATAFILE_TAIL_SIZE + 16;
    for (const frameRecord& record : paired) {
        if (!sameInterval(record, paired.front()))
            break;
        if (!record.isEmpty && record.data)
            bytes += ENTRY_HEAD_SIZE + record.data->m_writeSize;
    }
    return bytes;
}

} // namespace

datafileWriter::datafileWriter(const char* settingsPath)
    : m_outputDirectory(absoluteDirectory(QString::fromLatin1(DEFAULT_OUTPUT_DIRECTORY))) {
    m_intervalBlock = makeCmprBuffer(INTERVAL_BLOCK_SIZE);
    // The rain data are never filled by the station: the block carries 600 zero bytes.
    m_rainDataBlock = zeroBlock(RAIN_DATA_BLOCK_CAPACITY, RAIN_DATA_SIZE);
    m_reservedBlock = makeCmprBuffer(RESERVED_BLOCK_CAPACITY);
    if (m_reservedBlock) {
        cmprBuffer* r = m_reservedBlock.data();
        if (cmprWriteU16(r, 0) != 0 || cmprWriteU16(r, 0) != 0 || cmprWriteU16(r, 0) != 0 ||
            cmprWriteU16(r, 0) != 0)
            m_reservedBlock.reset();
    }
    if (settingsPath)
        pProcessSettingsFile(settingsPath, &m_outputDirectory);
}

namespace {

// Tells that frames of the camera of `role` went on without their partner: `held` frames
// beyond the bound (`bounded`), or those of an ended synchronisation.
void tellPartnerless(uint32_t role, size_t held, bool bounded) {
    const QChar camera = QLatin1Char(role == 2 ? 'B' : 'A');
    const QChar partner = QLatin1Char(role == 2 ? 'A' : 'B');
    logError(errorKind::frame,
             bounded ? QStringLiteral("warning : camera %1 holds %2 frames without a frame of "
                                      "camera %3 -> the oldest go on without their partner; "
                                      "frames of camera %3 of that time that come later are "
                                      "dropped")
                           .arg(camera)
                           .arg(qulonglong(held))
                           .arg(partner)
                     : QStringLiteral("warning : camera %1 delivered nothing for %2 s of an "
                                      "ended synchronisation -> camera %3's frames go on "
                                      "without their partner; frames of camera %1 of that "
                                      "time that come later are dropped")
                           .arg(partner)
                           .arg(PARTNER_WAIT_S)
                           .arg(camera));
}

} // namespace

bool datafileWriter::pairFrames(cameraQueue& queueA, cameraQueue& queueB) {
    bool grew = ::pairFrames(m_paired, queueA, queueB);
    // A camera that delivers nothing (its input away) must not make the other's frames pile
    // up: those whose partner can no longer come go on alone, told once each time it happens.
    cameraQueue* queues[2] = {&queueA, &queueB};
    for (int i = 0; i < 2; ++i) {
        cameraQueue& queue = *queues[i];
        const cameraQueue& other = *queues[1 - i];
        if (!other.frames().empty()) {
            m_aloneTold[i] = false;
            continue;
        }
        const size_t held = queue.size();
        bool bounded = false;
        if (!pairPartnerless(m_paired, queue, other, &bounded))
            continue;
        grew = true;
        if (!m_aloneTold[i])
            tellPartnerless(queue.role(), held, bounded);
        m_aloneTold[i] = true;
    }
    return grew;
}

QString datafileWriter::datafileName(int32_t intervalStart) {
    int64_t local = int64_t(intervalStart) + localOffset(intervalStart);
    return QStringLiteral("%1.%2")
        .arg(qlonglong(local / 1000), 8, 10, QLatin1Char('0'))
        .arg(qlonglong(local % 1000), 3, 10, QLatin1Char('0'));
}

datafileWriter::~datafileWriter() {
    completeStaged(nullptr);
}

datafileOutcome datafileWriter::writeDatafile() {
    const datafileOutcome staged = stageDatafile();
    if (staged != datafileOutcome::written)
        return staged;
    datafileOutcome last = datafileOutcome::lost;
    completeStaged([&last](datafileOutcome outcome) { last = outcome; });
    return last;
}

datafileOutcome datafileWriter::stageDatafile() {
    if (m_paired.empty())
        return datafileOutcome::notReady;
    int32_t interval = m_paired.front().intervalStart;
    // An interval is complete only once a record of a later one has been paired: later in
    // time, or on the clock of a later epoch (after a step back its times lie before).
    if (!laterInterval(m_paired.front(), m_paired.back()))
        return datafileOutcome::notReady;
    // An interval of more frames than the buffer holds (heavy rain in both cameras) is written
    // whole all the same, from a buffer grown for it.
    const int64_t needed = intervalBytes(m_paired);
    int64_t capacity = DATAFILE_BUFFER_SIZE;
    while (capacity < needed && capacity < DATAFILE_MAX_SIZE)
        capacity <<= 1;
    if (!m_output || m_output->m_capacity < capacity) {
        // Without the buffer nothing is taken off the queue: the intervals wait for the next
        // try, when memory may be back.
        m_output = makeCmprBuffer(int32_t(capacity));
        if (!m_output)
            return datafileOutcome::notReady;
    }
    if (!appendInterval()) {
        m_output.reset();
        // The records are gone with the failed assembly: say which interval was lost.
        logError(errorKind::datafile,
                 QStringLiteral(" : error : datafile %1 lost : interval does not fit the "
                                "output buffer")
                     .arg(joinPath(m_outputDirectory, datafileName(interval))));
        return datafileOutcome::lost;
    }
    const bool staged = stage(interval);
    // A buffer grown for one large interval is given back, not held for the rest of the run.
    if (m_output->m_capacity > DATAFILE_BUFFER_SIZE)
        m_output.reset();
    return staged ? datafileOutcome::written : datafileOutcome::lost;
}

bool datafileWriter::appendInterval() {
    cmprBuffer* out = m_output.data();
    cmprReset(out);
    bool ok = true;
    const frameRecord& first = m_paired.front();
    if (first.sync && first.sync->isValid())
        ok = cmprCopy(out, first.sync->headerBytes(), first.sync->headerLength()) == 0;
    double endA = 0.0;
    double endB = 0.0;
    m_framesAssembled[0] = m_framesAssembled[1] = 0;
    // A copy: the record the others are compared with leaves the queue first.
    const frameRecord head = first;
    while (!m_paired.empty() && sameInterval(m_paired.front(), head)) {
        const frameRecord& record = m_paired.front();
        const cam camera = camFromId(record.cameraId);
        if (isCamera(camera)) {
            (camera == cam::A ? endA : endB) = endPosition(record);
            if (!record.isEmpty && ok) {
                ok = appendFrameEntry(out, record);
                ++m_framesAssembled[camIndex(camera)];
            }
        }
        m_paired.pop_front();
    }
    cmprBuffer* block = m_intervalBlock.data();
    if (!block)
        return false;
    cmprReset(block);
    ok = ok && cmprWriteF64(block, endA) == 0 && cmprWriteF64(block, endB) == 0;
    for (int i = 0; ok && i < ZERO_PAIRS * 2; ++i)
        ok = cmprWriteF64(block, 0.0) == 0;
    ok = ok && appendBlock(out, m_intervalBlock) && appendBlock(out, m_rainDataBlock) &&
         appendBlock(out, m_reservedBlock) && flushShiftBuffer(out) == 0;
    return ok && cmprWriteU32(out, cmprByteSum(out)) == 0;
}

QString datafileWriter::repeatedPath(const QString& name) const {
    const QString dir = joinPath(m_outputDirectory, QLatin1String(REPEATED_DATAFILE_DIR));
    for (int pass = 2;; ++pass) {
        const QString path = joinPath(dir, name + QLatin1Char('.') + QString::number(pass));
        if (!nameTaken(path) && !nameTaken(path + QStringLiteral(".part")))
            return path;
    }
}

namespace {

// The whole file at `path`, when it is no larger than a datafile of one interval can be.
bool readWholeDatafile(const QString& path, QByteArray* bytes) {
    fileResult<QByteArray> read = readWholeFile(path, DATAFILE_PLAUSIBLE_SIZE);
    *bytes = std::move(read.value);
    return read.done();
}

bool intactDatafile(const QByteArray& bytes, datafileContent* content) {
    datafileProblem problem;
    return readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                        content, &problem);
}

// The interval of the name `name` ("<usual name>", also with ".<n>" of repeated/) can hold
// frames of the synchronisation at local second `syncSecond`: it begins at most a
// synchronisation's hour (and the 30 s a frame may lie ahead) after it, and ends after it;
// either side moved by up to an hour where summer time began or ended in between.
bool fitsItsName(const QString& name, uint32_t syncSecond) {
    const int64_t interval = datafileLocalSecond(name.section(QLatin1Char('.'), 0, 1));
    const int64_t SHIFT = 3600;
    const int64_t SPAN = 3600 + 30;
    return interval >= 0 && interval + INTERVAL_LENGTH > int64_t(syncSecond) - SHIFT &&
           interval < int64_t(syncSecond) + SPAN + SHIFT;
}

} // namespace

namespace {

// A datafile whose bytes did not all reach the disk goes; the interval is lost, and said so.
void lostUnwritten(const QString& temp) {
    removeFile(temp);
    logError(errorKind::datafile,
             QStringLiteral(" : error : unable to write temp datafile %1").arg(temp));
}

// Renames a ".part" that is no unfinished datafile of this station's out of the way of the
// interval whose temporary name it holds, and out of the next start's look.
void setAside(const QString& part, const QString& reason) {
    const QString aside = part + QStringLiteral(".set-aside");
    if (!renameNoReplace(part, aside)) {
        logWarning(
            QStringLiteral("warning : unfinished datafile %1 is no datafile of its name : %2 "
                           "-> left as it is")
                .arg(shownName(part), reason));
        return;
    }
    logWarning(QStringLiteral("warning : unfinished datafile %1 is no datafile of its name : %2 "
                              "-> set aside as %3")
                   .arg(shownName(part), reason, shownName(aside)));
}

} // namespace

int datafileWriter::completeUnfinished() {
    int completed = 0;
    const QString repeatedDir = joinPath(m_outputDirectory, QLatin1String(REPEATED_DATAFILE_DIR));
    for (const QString& dir : {m_outputDirectory, repeatedDir}) {
        // A "repeated" that is a link leads out of the station's folders: nothing is taken
        // from there, nor renamed there.
        if (dir == repeatedDir && !isOwnDirectory(dir))
            continue;
        const fileResult<QStringList> names = listFiles(dir, QStringLiteral("*.part"));
        if (!names)
            continue;
        for (const QString& name : names.value) {
            const QString part = joinPath(dir, name);
            QString path = part.left(part.size() - 5);
            // A second name of some other file is none the station wrote.
            if (const char* stranger = strangerUnder(part)) {
                setAside(part, QStringLiteral("it is %1").arg(QLatin1String(stranger)));
                continue;
            }
            const fileResult<fileStamp> stamp = stampFile(part);
            if (!stamp)
                continue;
            // A file of another time, or larger than an interval can be, is no interval this
            // station left unfinished: it would take the name of the interval that is.
            if (stamp.value.size > uint64_t(DATAFILE_PLAUSIBLE_SIZE)) {
                setAside(part, QStringLiteral("%1 bytes, more than an interval holds")
                                   .arg(qulonglong(stamp.value.size)));
                continue;
            }
            QByteArray bytes;
            datafileContent content;
            if (!readWholeDatafile(part, &bytes) || !intactDatafile(bytes, &content)) {
                logWarning(QStringLiteral("warning : unfinished datafile %1 is not whole -> left "
                                          "as it is")
                               .arg(shownName(part)));
                continue;
            }
            if (!fitsItsName(QFileInfo(path).fileName(), content.sync.localSyncSecond)) {
                setAside(part, QStringLiteral("its synchronisation (local second %1) lies too far "
                                              "from the interval of its name")
                                   .arg(content.sync.localSyncSecond));
                continue;
            }
            if (nameTaken(path)) {
                QByteArray final;
                // The rename went through as a link that was made before the cut; the old
                // name was not yet removed.
                if (readWholeDatafile(path, &final) && final == bytes) {
                    removeFile(part);
                    continue;
                }
                // The usual name, also of a file in repeated/ ("<usual name>.<n>").
                path = repeatedPath(QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 1));
                if (!makeOwnDirectory(directoryOf(path)))
                    continue;
            }
            if (!renameNoReplace(part, path)) {
                logError(errorKind::datafile,
                         QStringLiteral(" : error : unable to rename datafile %1").arg(path));
                continue;
            }
            (void)syncDirectory(directoryOf(path));
            logWarning(QStringLiteral("warning : datafile %1 left unfinished by an interrupted "
                                      "run -> completed")
                           .arg(path));
            ++completed;
        }
    }
    return completed;
}

bool datafileWriter::stage(int32_t interval) {
    QString path = joinPath(m_outputDirectory, datafileName(interval));
    QString temp = path + QStringLiteral(".part");
    // A name that is taken, finished or not, keeps no interval from its datafile: the same
    // local second came again, or a file of unknown origin holds the temporary name. The
    // interval goes aside, under a name no reader of the usual names picks up.
    // Anything under either name takes it, also a link that leads nowhere, which a new file
    // under that name would otherwise be created through. A datafile of the same name staged
    // before it is one written already, only not yet under its final name.
    const bool finalTaken = nameTaken(path) || nameInHand(path);
    if (finalTaken || nameTaken(temp)) {
        // Named by the datafile's path in both cases, as the message of a taken name has been.
        const QString taken =
            finalTaken ? QStringLiteral("datafile") : QStringLiteral("temporary datafile");
        const QString repeated = repeatedPath(datafileName(interval));
        const fileResult<> made = makeOwnDirectory(directoryOf(repeated));
        if (made.failedWith(ELOOP) || made.failedWith(ENOTDIR)) {
            // A link there would take the interval to wherever it leads.
            const QString reason = refusalText(made.error);
            logError(errorKind::datafile,
                     QStringLiteral(" : error : %1 %2 exists already and %3 is no folder of the "
                                    "station's own (%4) -> skipping")
                         .arg(taken, path, directoryOf(repeated), reason));
            return false;
        }
        if (!made) {
            logError(
                errorKind::datafile,
                QStringLiteral(" : error : %1 %2 exists already -> skipping").arg(taken, path));
            return false;
        }
        logWarning(QStringLiteral("warning : %1 %2 exists already -> kept as %3")
                       .arg(taken, path, repeated));
        path = repeated;
        temp = path + QStringLiteral(".part");
    }
    FILE* file = createFreshFile(temp, "wb");
    if (!file) {
        logError(errorKind::datafile,
                 QStringLiteral(" : error : unable to open temp datafile %1 -> interval lost")
                     .arg(temp));
        return false;
    }
    size_t size = size_t(m_output->m_writeSize);
    bool written = writeFile(file, m_output->m_data, size, temp) == size;
    written = startWriteBack(file) && written;
    if (!written) {
        std::fclose(file);
        lostUnwritten(temp);
        return false;
    }
    m_staged.push_back({file, temp, path, interval, {m_framesAssembled[0], m_framesAssembled[1]}});
    return true;
}

int datafileWriter::completeStaged(const std::function<void(datafileOutcome)>& told) {
    int written = finishCompletion(told);
    // On this thread: there is nothing to do meanwhile.
    handOver(std::launch::deferred);
    return written + finishCompletion(told);
}

std::vector<datafileWriter::completedDatafile>
datafileWriter::completeOnDisk(std::vector<stagedDatafile> staged, fileHooks hooks) {
    std::vector<completedDatafile> done;
    done.reserve(staged.size());
    QStringList folders;
    for (stagedDatafile& s : staged) {
        // The datafile must be complete on disk before it gets its final name, also across a
        // power cut.
        bool synced = bool(syncFile(s.file, s.temp, hooks));
        synced = std::fclose(s.file) == 0 && synced;
        s.file = nullptr;
        const bool named = synced && renameNoReplace(s.temp, s.path, hooks);
        if (named && !folders.contains(directoryOf(s.path)))
            folders << directoryOf(s.path);
        done.push_back({std::move(s), synced, named});
    }
    // The renames are made durable together, one folder sync for all: each is a wait on the
    // disk. Until then a power cut may undo a rename, never a file; the next start completes
    // what it finds under a ".part" name. A failed folder sync only leaves the names at that
    // risk, which no retry here would make smaller.
    for (const QString& folder : folders)
        (void)syncDirectory(folder, hooks);
    return done;
}

bool datafileWriter::nameInHand(const QString& path) const {
    return m_completingPaths.contains(path) ||
           std::any_of(m_staged.begin(), m_staged.end(),
                       [&path](const stagedDatafile& s) { return s.path == path; });
}

void datafileWriter::startCompletion() {
    if (m_completing.valid())
        finishCompletion(nullptr);
    handOver(std::launch::async);
}

void datafileWriter::handOver(std::launch policy) {
    if (m_staged.empty())
        return;
    m_completingPaths.clear();
    for (const stagedDatafile& s : m_staged)
        m_completingPaths << s.path;
    // The hooks of the loop's thread, as they are now: a test may change them meanwhile.
    try {
        m_completing =
            std::async(policy, &datafileWriter::completeOnDisk, m_staged, fileHooks::installed());
    } catch (const std::system_error&) {
        // No thread to be had: the completion runs when it is waited for.
        m_completing = std::async(std::launch::deferred, &datafileWriter::completeOnDisk, m_staged,
                                  fileHooks::installed());
    }
    m_staged.clear();
}

int datafileWriter::finishCompletion(const std::function<void(datafileOutcome)>& told) {
    if (!m_completing.valid())
        return 0;
    const std::vector<completedDatafile> done = m_completing.get();
    m_completingPaths.clear();
    int written = 0;
    for (const completedDatafile& d : done) {
        const stagedDatafile& s = d.staged;
        if (!d.synced) {
            lostUnwritten(s.temp);
        } else if (!d.named) {
            logError(errorKind::datafile,
                     QStringLiteral(" : error : unable to rename datafile %1").arg(s.path));
        } else {
            m_lastDatafile = s.path;
            m_lastInterval = s.interval;
            m_framesWritten[0] += s.frames[0];
            m_framesWritten[1] += s.frames[1];
            ++written;
        }
        if (told)
            told(d.named ? datafileOutcome::written : datafileOutcome::lost);
    }
    return written;
}
