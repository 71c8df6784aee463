#include "sync/syncList.h"

#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"
#include "sync/timeConv.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const DEFAULT_DIRECTORY = "C:\\data\\sync\\";
// Synchronisations older than this before a new one may be pruned ...
const int32_t PRUNE_AGE = 7200;
// ... but the newest ones always stay, so that frames of earlier synchronisations that wait
// in the input directories (after an outage of the share, say) can still be placed. The
// map is bounded by 65536 syncIds in any case.
const size_t KEEP_NEWEST = 64;
const int LINE_LIMIT = 256;

// Reads the unsigned decimal number that follows blanks at `*text` and moves past it; false
// (a damaged line) for a sign, no digit or a number beyond 64 bits.
bool readDecimal(const char** text, unsigned long long* value) {
    const char* p = *text;
    while (std::isspace((unsigned char)*p))
        ++p;
    if (!std::isdigit((unsigned char)*p))
        return false;
    errno = 0;
    char* end = nullptr;
    *value = std::strtoull(p, &end, 10);
    if (errno == ERANGE)
        return false;
    *text = end;
    return true;
}

// True when the file at `path` is empty, missing or ends with a line end.
bool endsWithLineEnd(const QString& path) {
    FILE* file = openOwnFile(path, "rb");
    if (!file)
        return true;
    bool ends = std::fseek(file, -1, SEEK_END) != 0 || std::fgetc(file) == '\n';
    std::fclose(file);
    return ends;
}

} // namespace

syncList::syncList()
    : m_directory(absoluteDirectory(QString::fromLatin1(DEFAULT_DIRECTORY))), m_windowStart(0),
      m_windowEnd(0), m_currentSyncId(NO_SYNC_ID) {
    utcDayWindow(currentSecond(), &m_windowStart, &m_windowEnd);
    load();
}

bool syncList::setDirectory(const QString& path) {
    QString absolute;
    if (!acceptDirectory(path, &absolute))
        return false;
    m_directory = absolute;
    forgetLastFound();
    m_points.clear();
    m_seconds.clear();
    utcDayWindow(currentSecond(), &m_windowStart, &m_windowEnd);
    load();
    return true;
}

QString syncList::fileFor(int64_t second) const {
    return joinPath(m_directory, localDayStem(second) + QStringLiteral(".sync.log"));
}

void syncList::load() {
    if (!directoryExists(m_directory))
        return;
    int64_t now = currentSecond();
    if (now < m_windowStart || now >= m_windowEnd)
        utcDayWindow(now, &m_windowStart, &m_windowEnd);
    forgetLastFound();
    m_points.clear();
    m_seconds.clear();
    m_currentSyncId = NO_SYNC_ID;
    m_taken.assign(m_taken.size(), false);
    for (const auto& line : m_unwritten)
        m_taken[line.first] = true;

    m_loadFailed = false;
    // Only a plain file of the station's own is the day's list: what else stands under its
    // name (a link, a FIFO, a second name of another file) is neither read nor waited on,
    // and leaves the numbers of the day unknown.
    FILE* file = openOwnFile(fileFor(now), "r");
    if (!file && errno != ENOENT)
        m_loadFailed = true;
    if (file) {
        char line[LINE_LIMIT];
        while (std::fgets(line, sizeof line, file)) {
            // A longer line is read in pieces; each piece stands as a line of its own.
            unsigned long long syncId = NO_SYNC_ID;
            unsigned long long second = 0;
            const char* rest = line;
            if (!readDecimal(&rest, &syncId) || !readDecimal(&rest, &second))
                continue;
            // 65535 stands for "none"; more does not fit a syncId.
            if (syncId >= NO_SYNC_ID)
                continue;
            if (second < (unsigned long long)(int64_t)m_windowStart ||
                second >= (unsigned long long)(int64_t)m_windowEnd)
                continue;
            m_seconds[int32_t(second)] = uint16_t(syncId);
            m_points[uint16_t(syncId)] = syncPointPtr();
            m_taken[size_t(syncId)] = true;
        }
        std::fclose(file);
    }
    if (!m_seconds.empty())
        m_currentSyncId = m_seconds.rbegin()->second;
}

void syncList::prune(int32_t newSecond) {
    forgetLastFound();
    int64_t threshold = int64_t(newSecond) - PRUNE_AGE;
    while (!m_seconds.empty() && m_seconds.size() > KEEP_NEWEST &&
           int64_t(m_seconds.begin()->first) < threshold) {
        uint16_t syncId = m_seconds.begin()->second;
        m_seconds.erase(m_seconds.begin());
        // A syncId that was reused by a newer second keeps its point.
        bool stillUsed = false;
        for (const auto& entry : m_seconds)
            if (entry.second == syncId) {
                stillUsed = true;
                break;
            }
        if (!stillUsed)
            m_points.erase(syncId);
    }
}

bool syncList::addSync(const cameraParams& params) {
    syncPointPtr point(new syncPoint());
    if (!point->build(params))
        return false;
    point->setClockEpoch(m_clockWatch ? m_clockWatch->epoch() : 0);
    int32_t s = point->syncSecond();
    if (m_loadFailed)
        load();
    uint16_t next;
    int32_t windowStart = m_windowStart;
    int32_t windowEnd = m_windowEnd;
    const bool newDay = s >= m_windowEnd;
    if (!newDay) {
        // One after the syncId of the latest second; but after a step of the clock back that
        // one may be an earlier synchronisation's, and the ids after it handed out already.
        next = nextFreeSyncId(uint16_t(m_currentSyncId + 1));
    } else {
        utcDayWindow(s, &windowStart, &windowEnd);
        next = m_currentSyncId == 0 ? 1 : 0;
    }
    if (next == NO_SYNC_ID) {
        logError(errorKind::syncList,
                 QStringLiteral("error : every syncId of the day is handed out -> no measurement "
                                "until the next day"));
        return false;
    }
    const bool appended = appendLines(next, s);
    // Until this run has read the day's file and written to it, the numbers already handed out
    // today are unknown: no synchronisation rather than one of a number used before.
    if (directoryExists(m_directory) &&
        (m_loadFailed || (!appended && m_checkedDay != windowStart))) {
        m_unwritten.erase(next);
        if (!m_refusalReported)
            logError(errorKind::syncList,
                     QStringLiteral("error : sync list %1 cannot be read or written -> no "
                                    "measurement, so that no syncId of the day is handed out "
                                    "twice")
                         .arg(fileFor(s)));
        m_refusalReported = true;
        return false;
    }
    m_refusalReported = false;
    if (newDay)
        m_taken.assign(m_taken.size(), false);
    m_taken[next] = true;
    prune(s);
    m_windowStart = windowStart;
    m_windowEnd = windowEnd;
    if (appended)
        m_checkedDay = windowStart;
    m_currentSyncId = next;
    if (!appended) {
        logError(errorKind::syncList,
                 QStringLiteral("error : unable to append syncId %1 to sync list %2")
                     .arg(next)
                     .arg(fileFor(s)));
        // Without the directory the numbering lives in memory only, as it always has. With it,
        // a number whose line is not on disk is not handed out (a power cut would take it
        // back), nor taken again in this run; its line is written before the next one.
        if (directoryExists(m_directory))
            return false;
    }
    forgetLastFound();
    m_seconds[s] = next;
    m_points[next] = point;
    return true;
}

bool syncList::appendLines(uint16_t syncId, int64_t second) {
    m_unwritten[syncId] = second;
    // Bounded as the list itself: the newest lines are the ones a restart needs.
    while (m_unwritten.size() > KEEP_NEWEST) {
        auto oldest =
            std::min_element(m_unwritten.begin(), m_unwritten.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        m_unwritten.erase(oldest);
    }
    // Oldest first, as they were handed out; a line of an earlier day goes to that day's file.
    std::vector<std::pair<int64_t, uint16_t>> lines;
    for (const auto& entry : m_unwritten)
        lines.push_back({entry.second, entry.first});
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) {
        if (!appendLine(line.second, line.first))
            return false;
        m_unwritten.erase(line.second);
    }
    return true;
}

bool syncList::appendLine(uint16_t syncId, int64_t second) {
    if (!directoryExists(m_directory))
        return false;
    QString path = fileFor(second);
    bool lineStart = endsWithLineEnd(path);
    // The name of the day's new file must be as durable as its first line: lost in a power
    // cut, it takes the day's numbering back to 0 while the cameras go on with the syncIds
    // already given out.
    const bool created = !fileExists(path);
    FILE* file = openOwnFile(path, "a");
    if (!file) {
        // Something planted under the day's name: the lines this run wrote there may be gone,
        // so the numbers of the day are as unknown as after a list that cannot be read.
        if (refusedAsNotOwn(errno))
            m_loadFailed = true;
        return false;
    }
    // The last line of a run cut short by a power failure must not swallow this one.
    bool ok = lineStart || std::fputc('\n', file) != EOF;
    ok = std::fprintf(file, "%10hu  %011llu  %11.3f \n", (unsigned short)syncId,
                      (unsigned long long)second, double(second)) > 0 &&
         ok;
    // The numbering of the day must survive a crash of the station computer.
    ok = syncFile(file, path) && ok;
    ok = std::fclose(file) == 0 && ok;
    if (created || path == m_unsyncedName) {
        const bool named = syncDirectory(m_directory).done();
        m_unsyncedName = named ? QString() : path;
        ok = named && ok;
    }
    return ok;
}

uint16_t syncList::nextFreeSyncId(uint16_t from) const {
    uint16_t id = from;
    for (size_t tried = 0; tried < m_taken.size(); ++tried, id = uint16_t(id + 1))
        if (id != NO_SYNC_ID && !m_taken[id])
            return id;
    return NO_SYNC_ID;
}

bool syncList::fromEarlierRun(uint16_t syncId) const {
    auto it = m_points.find(syncId);
    return it != m_points.end() && !it->second;
}

syncPointPtr syncList::find(uint16_t syncId) const {
    if (m_seconds.empty())
        return syncPointPtr();
    if (m_lastFound && m_lastSyncId == syncId)
        return m_lastPoint;
    auto it = m_points.find(syncId);
    if (it == m_points.end())
        return syncPointPtr();
    m_lastFound = true;
    m_lastSyncId = syncId;
    m_lastPoint = it->second;
    return m_lastPoint;
}
