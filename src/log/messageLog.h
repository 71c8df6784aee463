// The station's message log. Every part of the station reports through it: a one-line text,
// its severity and, for an error, the kind of thing that failed, both chosen where the message
// is made. The status screen, the plain-line output and the health counters listen to it; no
// listener reads meaning out of the text.
#pragma once

#include <QString>

#include <functional>

enum class severity { error, warning, note, info };

// What an error is about; the health files count errors by these kinds.
enum class errorKind {
    none, // not an error
    datafile,
    transferFile,
    frame,
    parameterPush,
    inputFile,
    configuration,
    syncList,
    other,
};
const int ERROR_KINDS = int(errorKind::other) + 1;

// The name of a kind in the health files ("transfer_file"); empty for none.
const char* errorKindName(errorKind kind);

// Where a message goes: the message log proper (the screen's newest lines), or the standard
// error stream, which the configuration and the input collection write to with the name of the
// reporting function in front.
enum class logChannel { messages, standardError };

struct logEntry {
    severity level;
    errorKind kind;
    logChannel channel;
    QString text;
};

// Adds one message. An error of kind none is counted as kind other.
void logMessage(severity level, errorKind kind, const QString& text);
void logError(errorKind kind, const QString& text);
void logWarning(const QString& text);
void logNote(const QString& text);
void logInfo(const QString& text);
// Writes `text` (its own line ends included) to the standard error stream and tells the
// listeners.
void logToStandardError(severity level, errorKind kind, const QString& text);

// Listeners see every entry as it is added, in the order they were added.
int addLogListener(std::function<void(const logEntry&)> listener);
void removeLogListener(int id);

// Listens to the message log for as long as it lives.
class scopedLogListener {
public:
    explicit scopedLogListener(std::function<void(const logEntry&)> listener);
    ~scopedLogListener();
    scopedLogListener(const scopedLogListener&) = delete;
    scopedLogListener& operator=(const scopedLogListener&) = delete;

private:
    int m_id;
};
