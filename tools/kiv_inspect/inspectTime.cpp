#include "kiv_inspect/inspectTime.h"

#include "sync/timeConv.h"

#include <cmath>
#include <ctime>

namespace {

const int64_t DAY = 86400;
// Years a calendar text is written for; beyond them the count is damage, not a date.
const int64_t LIMIT = int64_t(1) << 40;

} // namespace

QString clockText(int64_t seconds) {
    if (seconds > LIMIT || seconds < -LIMIT)
        return QStringLiteral("?");
    time_t t = time_t(seconds);
    struct tm parts = {};
    char text[32];
    if (!gmtime_r(&t, &parts) || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        return QStringLiteral("?");
    return QString::fromLatin1(text);
}

int64_t wholeSecond(double seconds) {
    if (!(seconds > -double(LIMIT) && seconds < double(LIMIT)))
        return seconds < 0 ? -2 * LIMIT : 2 * LIMIT; // NaN too
    return int64_t(std::floor(seconds));
}

int64_t utcOfLocal(int64_t localSecond) {
    if (localSecond > LIMIT || localSecond < -LIMIT)
        return localSecond;
    // The offset depends on the UTC second looked for: one step from a first guess settles it
    // everywhere but in the hour a summer-time switch skips or repeats.
    int64_t guess = localSecond - localOffset(localSecond);
    return localSecond - localOffset(guess);
}

int64_t localDayStart(int64_t localSecond) {
    int64_t rest = localSecond % DAY;
    if (rest < 0)
        rest += DAY;
    return localSecond - rest;
}
