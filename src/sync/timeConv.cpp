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

namespace {

bool sameDate(const struct tm& a, const struct tm& b) {
    return a.tm_year == b.tm_year && a.tm_yday == b.tm_yday;
}

// The first second of the local date of `day` (its year, month and day; a day of the month
// past the end carries into the next month). Summer time at that midnight is asked of the
// zone's rules, not copied from another hour of the day: on the days of the switch it differs
// from the afternoon's. Where the zone skips midnight itself (summer time beginning at 00:00),
// the date begins with the first second it has.
int64_t startOfDate(const struct tm& day) {
    // Noon names the date without doubt; mktime() normalises it.
    struct tm date = {};
    date.tm_year = day.tm_year;
    date.tm_mon = day.tm_mon;
    date.tm_mday = day.tm_mday;
    date.tm_hour = 12;
    date.tm_isdst = -1;
    mktime(&date);
    struct tm midnight = date;
    midnight.tm_hour = 0;
    midnight.tm_min = 0;
    midnight.tm_sec = 0;
    midnight.tm_isdst = -1;
    const int64_t guess = int64_t(mktime(&midnight));
    // A midnight that does not exist comes back as a time of the previous date: the date then
    // begins at the first quarter hour that belongs to it.
    for (int quarter = 0; quarter <= 12; ++quarter) {
        const int64_t start = guess + 900 * quarter;
        if (sameDate(localParts(start), date))
            return start;
    }
    return guess;
}

} // namespace

int32_t localMidnight(int64_t t) {
    return clampToInt32(double(startOfDate(localParts(t))));
}

int32_t nextLocalMidnight(int64_t t) {
    struct tm next = localParts(t);
    // mktime() carries the 32nd of a month into the next one.
    next.tm_mday += 1;
    return clampToInt32(double(startOfDate(next)));
}

int64_t localOffset(int64_t t) {
    // The zone's own offset at that second, summer time included (whatever its size: half an
    // hour on Lord Howe Island), in whole quarter hours.
    const struct tm local = localParts(t);
    return (int64_t(local.tm_gmtoff) / 900) * 900;
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
