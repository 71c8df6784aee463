#include "status/stationHealth.h"

namespace {

const int KEPT_MESSAGES = 5;

struct kindPattern {
    const char* fragment;
    const char* kind;
};

// The error lines of the station by what they are about, most specific first.
const kindPattern ERROR_KINDS[] = {
    {"datafile", "datafile"},
    {"transfer file", "transfer_file"},
    {"tranfer file", "transfer_file"},
    {"retrieved frame", "transfer_file"},
    {"line counter", "transfer_file"},
    {"cmprBuffer", "transfer_file"},
    {"frame", "frame"},
    {"RLE_FRAME", "frame"},
    {"acquire.par", "parameter_push"},
    {"incompatible", "parameter_push"},
    {"input file", "input_file"},
    {"log file", "input_file"},
    {"norm video", "input_file"},
};

} // namespace

const char* resyncReasonName(int reason) {
    switch (reason) {
    case RESYNC_SILENCE:
        return "silence";
    case RESYNC_DISCONNECT:
        return "disconnect";
    case RESYNC_FULL_HOUR:
        return "full_hour";
    case RESYNC_REBOOT_REQUEST:
        return "reboot_request";
    case RESYNC_FAILED_PUSH:
        return "failed_push";
    default:
        return "unknown";
    }
}

QString errorKind(const QString& message) {
    bool error = message.startsWith(QLatin1String("error")) ||
                 message.startsWith(QLatin1String(" : error : ")) ||
                 message.contains(QLatin1String("( result != SUCCESS )"));
    if (!error)
        return QString();
    // Only the message's own words count, not a path it names.
    QString words = message.left(message.indexOf(QLatin1Char('/')));
    for (const kindPattern& p : ERROR_KINDS)
        if (words.contains(QLatin1String(p.fragment)))
            return QLatin1String(p.kind);
    return QStringLiteral("other");
}

void stationHealth::noteMessage(const QString& text) {
    QString kind = errorKind(text);
    if (!kind.isEmpty())
        ++errors[kind];
    lastMessages.append(text);
    while (lastMessages.size() > KEPT_MESSAGES)
        lastMessages.removeFirst();
}
