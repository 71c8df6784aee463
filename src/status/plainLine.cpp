#include "status/plainLine.h"

#include "platform/stationClock.h"

#include <ctime>

namespace {

const int PRIORITY_ERROR = 3;
const int PRIORITY_WARNING = 4;
const int PRIORITY_NOTICE = 5;
const int PRIORITY_INFO = 6;

QString localTimeStamp() {
    time_t t = time_t(currentSecond());
    struct tm local;
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local);
    return QString::fromLatin1(text);
}

} // namespace

int messagePriority(severity level) {
    switch (level) {
    case severity::error:
        return PRIORITY_ERROR;
    case severity::warning:
        return PRIORITY_WARNING;
    case severity::note:
        return PRIORITY_NOTICE;
    case severity::info:
        break;
    }
    return PRIORITY_INFO;
}

QString plainMessageLine(severity level, const QString& text, bool journal) {
    if (journal)
        return QStringLiteral("<%1>").arg(messagePriority(level)) + text;
    return localTimeStamp() + text;
}
