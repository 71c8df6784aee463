#include "log/messageLog.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

struct listeners {
    std::vector<std::pair<int, std::function<void(const logEntry&)>>> entries;
    int nextId = 1;
};

// Process-wide, like the log itself; built on first use so that a message made while other
// process-wide objects are built is not lost.
listeners& registry() {
    static listeners* all = new listeners();
    return *all;
}

void publish(const logEntry& entry) {
    // A listener may add or remove listeners while it is told: tell a copy.
    const auto current = registry().entries;
    for (const auto& listener : current)
        listener.second(entry);
}

errorKind countedKind(severity level, errorKind kind) {
    if (level != severity::error)
        return errorKind::none;
    return kind == errorKind::none ? errorKind::other : kind;
}

} // namespace

const char* errorKindName(errorKind kind) {
    switch (kind) {
    case errorKind::none:
        return "";
    case errorKind::datafile:
        return "datafile";
    case errorKind::transferFile:
        return "transfer_file";
    case errorKind::frame:
        return "frame";
    case errorKind::parameterPush:
        return "parameter_push";
    case errorKind::inputFile:
        return "input_file";
    case errorKind::configuration:
        return "configuration";
    case errorKind::syncList:
        return "sync_list";
    case errorKind::other:
        return "other";
    }
    return "other";
}

void logMessage(severity level, errorKind kind, const QString& text) {
    publish({level, countedKind(level, kind), logChannel::messages, text});
}

void logError(errorKind kind, const QString& text) {
    logMessage(severity::error, kind, text);
}

void logWarning(const QString& text) {
    logMessage(severity::warning, errorKind::none, text);
}

void logNote(const QString& text) {
    logMessage(severity::note, errorKind::none, text);
}

void logInfo(const QString& text) {
    logMessage(severity::info, errorKind::none, text);
}

void logToStandardError(severity level, errorKind kind, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    // Standard error is unbuffered; a failed write has nowhere else to be reported.
    (void)std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    publish({level, countedKind(level, kind), logChannel::standardError, text});
}

int addLogListener(std::function<void(const logEntry&)> listener) {
    listeners& all = registry();
    const int id = all.nextId++;
    all.entries.emplace_back(id, std::move(listener));
    return id;
}

void removeLogListener(int id) {
    auto& entries = registry().entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->first == id) {
            entries.erase(it);
            return;
        }
    }
}

scopedLogListener::scopedLogListener(std::function<void(const logEntry&)> listener)
    : m_id(addLogListener(std::move(listener))) {}

scopedLogListener::~scopedLogListener() {
    removeLogListener(m_id);
}
