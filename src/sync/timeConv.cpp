#include "sync/timeConv.h"

#include "platform/stationClock.h"
#include "sync/syncPoint.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace {

bool usable(const syncPoint* sync) {
    return sync && sync->isValid() && sync->lineFrequency() > 0;
}

struct tm localParts(int64_t t) {
    time_t tt = time_t(t);
    struct tm parts = {};
    localtime_r(&tt, &parts);
    return parts;
}

} // namespace

int32_t clampToInt32(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (value <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

double relativeTime(const syncPoint* sync, double lineCounter) {
    if (!usable(sync))
        return 0.0;
    return (sync->syncTime() - double(sync->dayStart())) + lineCounter / sync->lineFrequency();
}

double absoluteTime(const syncPoint* sync, double lineCounter) {
    if (!usable(sync))
        return 0.0;
    return relativeTime(sync, lineCounter) + double(sync->dayStart());
}

double linePosition(const syncPoint* sync, double lineCounter) {
    if (!usable(sync))
        return 0.0;
    return std::trunc(relativeTime(sync, lineCounter) * sync->lineFrequency());
}

namespace {

// The interval holding relative time `r` of a usable syncPoint. The day start is taken off
// before the division and added back afterwards, so that the double keeps its precision for
// the fraction of the day.
int32_t intervalStartAt(const syncPoint* sync, double r, int32_t length) {
    int64_t s = clampToInt32(r + double(sync->dayStart()));
    int64_t lastSecond = int64_t(sync->dayEnd()) - 1;
    if (s > lastSecond)
        s = lastSecond;
    int64_t rest = s % length;
    if (rest < 0)
        rest += length;
    return int32_t(s - rest);
}

} // namespace

int32_t intervalStart(const syncPoint* sync, double lineCounter, int32_t length) {
    if (!usable(sync) || length <= 0)
        return 0;
    return intervalStartAt(sync, relativeTime(sync, lineCounter), length);
}

int32_t intervalEnd(const syncPoint* sync, double lineCounter, int32_t length) {
    if (!usable(sync) || length <= 0)
        return 0;
    return intervalStart(sync, lineCounter, length) + length;
}

void placeLine(const syncPoint* sync, double lineCounter, int32_t length, double* position,
               int32_t* start, int32_t* end) {
    *position = 0.0;
    *start = 0;
    *end = 0;
    if (!usable(sync))
        return;
    const double r = relativeTime(sync, lineCounter);
    *position = std::trunc(r * sync->lineFrequency());
    if (length <= 0)
        return;
    *start = intervalStartAt(sync, r, length);
    *end = *start + length;
}

int32_t localMidnight(int64_t t) {
    struct tm parts = localParts(t);
    parts.tm_hour = 0;
    parts.tm_min = 0;
    parts.tm_sec = 0;
    // Ask the library whether summer time is in force at midnight: on the days of the switch
    // it differs from the afternoon's, and copying it would move midnight by an hour.
    parts.tm_isdst = -1;
    return int32_t(mktime(&parts));
}

int32_t nextLocalMidnight(int64_t t) {
    return localMidnight(t) + 86400;
}

int64_t localOffset(int64_t t) {
    time_t tt = time_t(t);
    struct tm utc = {};
    gmtime_r(&tt, &utc);
    utc.tm_isdst = 0; // read the UTC fields as local standard time
    int64_t u = int64_t(mktime(&utc));
    struct tm local = localParts(t);
    bool summer = local.tm_isdst > 0;
    int64_t l = int64_t(mktime(&local));
    int64_t offset = ((l - u) / 900) * 900;
    if (summer)
        offset += 3600;
    return offset;
}

bool zoneHasSummerTime(int64_t t) {
    // Summer time lies in January in the south and in July in the north: a day in the middle
    // of each month of the year tells.
    time_t now = time_t(t);
    struct tm local;
    localtime_r(&now, &local);
    for (int month = 0; month < 12; ++month) {
        struct tm probe = {};
        probe.tm_year = local.tm_year;
        probe.tm_mon = month;
        probe.tm_mday = 15;
        probe.tm_hour = 12;
        probe.tm_isdst = -1;
        if (mktime(&probe) != time_t(-1) && probe.tm_isdst > 0)
            return true;
    }
    return false;
}

void utcDayWindow(int64_t t, int32_t* start, int32_t* end) {
    int64_t rest = t % 86400;
    int64_t s = rest < t ? t - rest : 0;
    if (start)
        *start = int32_t(s);
    if (end)
        *end = int32_t(s + 86400);
}

QString localDayStem(int64_t t) {
    struct tm parts = localParts(t);
    return QStringLiteral("v%1%2_1")
        .arg(parts.tm_year % 100, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_yday + 1, 3, 10, QLatin1Char('0'));
}
