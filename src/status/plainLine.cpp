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

int messagePriority(const QString& text) {
    int start = 0;
    while (start < text.size() &&
           (text.at(start) == QLatin1Char(' ') || text.at(start) == QLatin1Char(':')))
        ++start;
    int end = start;
    while (end < text.size() && text.at(end).isLetter())
        ++end;
    const QStringView word = QStringView(text).mid(start, end - start);
    if (word == QLatin1String("error"))
        return PRIORITY_ERROR;
    if (word == QLatin1String("warning"))
        return PRIORITY_WARNING;
    if (word == QLatin1String("note"))
        return PRIORITY_NOTICE;
    return PRIORITY_INFO;
}

QString plainMessageLine(const QString& text, bool journal) {
    if (journal)
        return QStringLiteral("<%1>").arg(messagePriority(text)) + text;
    return localTimeStamp() + text;
}
