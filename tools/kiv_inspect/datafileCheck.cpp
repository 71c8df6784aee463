#include "kiv_inspect/datafileCheck.h"

#include "kiv_inspect/inspectTime.h"
#include "output/frameRecord.h"
#include "sync/timeConv.h"

#include <algorithm>
#include <cmath>

namespace {

const int64_t DAY = 86400;
// Earlier versions of the station ended the sync day 86400 seconds after its midnight also on
// the days summer time begins or ends: their last interval of such a day lies up to an hour off
// the local midnight.
const int64_t SUMMER_TIME_SHIFT = 3600;

const uint8_t* dataOf(const QByteArray& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.constData());
}

// Interval start (local) of a wall-clock time.
int64_t intervalOf(double localTime) {
    int64_t s = wholeSecond(localTime);
    int64_t rest = s % INTERVAL_LENGTH;
    return s - (rest < 0 ? rest + INTERVAL_LENGTH : rest);
}

// A line position is the whole lines before a line; its time is up to one line earlier than
// the line's own time. Lines after the end of the sync day are written into its last interval.
bool timeInInterval(double time, int64_t start, double lineTime, bool lastOfDay) {
    return time >= double(start) - lineTime - 1e-6 && (time < double(start + 3) || lastOfDay);
}

void checkName(datafileVerdict* v) {
    const datafileSyncHeader& sync = v->content.sync;
    int64_t x = v->nameSecond;
    if (x % INTERVAL_LENGTH != 0)
        v->problems.push_back(
            {-1, QStringLiteral("name: interval start %1 is not a multiple of 3 seconds").arg(x)});
    if (!v->content.syncHeaderRead)
        return;
    int64_t syncSecond = sync.localSyncSecond;
    int64_t dayStart = localDayStart(syncSecond);
    if (x + INTERVAL_LENGTH <= syncSecond)
        v->problems.push_back(
            {-1, QStringLiteral("name: interval %1 ends before the sync second "
                                "%2 of the sync header (%3)")
                     .arg(clockText(x), QString::number(syncSecond), clockText(syncSecond))});
    else if (x >= dayStart + DAY + SUMMER_TIME_SHIFT)
        v->problems.push_back(
            {-1, QStringLiteral("name: interval %1 lies after the local day "
                                "of the sync second %2 (%3)")
                     .arg(clockText(x), QString::number(syncSecond), clockText(syncSecond))});
}

// The first frame whose time lies outside the interval of the name.
void checkFrameTimes(datafileVerdict* v) {
    const datafileContent& c = v->content;
    if (!c.syncHeaderRead)
        return;
    int64_t dayEnd = localDayStart(c.sync.localSyncSecond) + DAY;
    bool lastOfDay = v->intervalSecond + INTERVAL_LENGTH >= dayEnd - SUMMER_TIME_SHIFT;
    double lineTime = 1.0 / c.sync.lineFrequency;
    for (size_t i = 0; i < c.entries.size(); ++i) {
        double t = entryLocalTime(c, c.entries[i]);
        if (!timeInInterval(t, v->intervalSecond, lineTime, lastOfDay)) {
            v->problems.push_back(
                {c.entries[i].offset,
                 QStringLiteral("frame entry %1: line position %2 is at %3, outside the "
                                "interval of the name (%4 .. %5)")
                     .arg(i)
                     .arg(c.entries[i].linePosition, 0, 'f', 0)
                     .arg(clockText(wholeSecond(t)), clockText(v->intervalSecond),
                          clockText(v->intervalSecond + INTERVAL_LENGTH).mid(11))});
            return;
        }
    }
}

void checkFrameData(datafileVerdict* v, const QByteArray& bytes) {
    const datafileContent& c = v->content;
    std::vector<shadowLine> lines;
    for (size_t i = 0; i < c.entries.size(); ++i) {
        if (decodeDatafileEntry(dataOf(bytes), size_t(bytes.size()), c.entries[i], &lines) != 0) {
            v->problems.push_back(
                {c.entries[i].dataOffset,
                 QStringLiteral("frame entry %1 data: expected %2 lines of run-length codes "
                                "ending in an end code, found damaged codes")
                     .arg(i)
                     .arg(c.entries[i].numLines)});
            return;
        }
    }
}

} // namespace

QString problemText(const inspectProblem& problem) {
    if (problem.offset < 0)
        return problem.text;
    return QStringLiteral("at byte %1: %2").arg(problem.offset).arg(problem.text);
}

datafileVerdict checkDatafile(const QString& name, const QByteArray& bytes) {
    datafileVerdict v;
    v.name = name;
    v.size = bytes.size();
    datafileProblem problem;
    v.layoutIntact = readDatafile(dataOf(bytes), size_t(bytes.size()), &v.content, &problem);
    if (!v.layoutIntact) {
        std::string field =
            problem.field + ": expected " + problem.expected + ", found " + problem.found;
        v.problems.push_back({problem.offset, QString::fromStdString(field)});
    }
    v.nameSecond = datafileLocalSecond(name);
    v.intervalFromName = v.nameSecond >= 0;
    v.intervalSecond = v.nameSecond;
    if (v.intervalSecond < 0 && v.content.syncHeaderRead && !v.content.entries.empty())
        v.intervalSecond = intervalOf(entryLocalTime(v.content, v.content.entries.front()));
    if (v.intervalFromName) {
        checkName(&v);
        checkFrameTimes(&v);
    }
    checkFrameData(&v, bytes);
    // In file order, so that the first problem shown is the first in the file; the name's
    // problems (no offset) come first.
    std::stable_sort(
        v.problems.begin(), v.problems.end(),
        [](const inspectProblem& a, const inspectProblem& b) { return a.offset < b.offset; });
    return v;
}

cameraTally tallyCamera(const datafileContent& content, int camera) {
    cameraTally tally;
    for (const datafileEntry& entry : content.entries) {
        if (entry.cameraId != camera)
            continue;
        ++tally.frames;
        tally.lines += entry.numLines;
        tally.bytes += entry.dataLength;
    }
    return tally;
}

double entryLocalTime(const datafileContent& content, const datafileEntry& entry) {
    // The line position counts the seconds since the local midnight of the sync day as they
    // pass; where summer time begins or ends in between, the wall clock has moved by the switch
    // (an hour, or half an hour on Lord Howe Island): the zone tells the offset at the frame.
    const int64_t midnight = utcOfLocal(localDayStart(content.sync.localSyncSecond));
    const double utc = double(midnight) + entry.linePosition / content.sync.lineFrequency;
    return utc + double(localOffset(wholeSecond(utc)));
}
