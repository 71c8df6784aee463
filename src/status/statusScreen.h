// The status screen and the message log: a banner, the current synchronisation, the clock,
// one line per camera, the datafiles written and the newest five messages. Every part of the
// station reports through the message log; without a terminal each message becomes one
// time-stamped line on standard output instead.
#pragma once

#include "platform/console.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The program's version, shown in the banner and reported to remote monitoring.
const char* const PROGRAM_VERSION = "1.0.0.13";

class statusScreen {
public:
    // The process-wide screen, created (console set up, first screen drawn) on first use.
    static statusScreen& instance();

    // A screen drawing on `out`; tests give it a recording console.
    explicit statusScreen(std::unique_ptr<console> out);

    void addMessage(const QString& text);
    // Placeholder lines and an empty message log.
    void reset();
    // Draws the screen if anything changed since the last draw.
    void redraw();
    void setSyncLine(uint16_t syncId, int32_t syncSecond, int32_t resyncSecond, bool reboot);
    // kind 1 fills the camera A line, kind 2 the camera B line; other kinds change nothing.
    void setCameraLine(uint32_t kind, uint32_t newRecordCount, uint32_t lastFileSize,
                       const QString& lastFileName);
    void setOutputLine(int32_t count);

    const QString& banner() const { return m_banner; }
    const QString& nowLine() const { return m_nowLine; }
    const QString& syncLine() const { return m_syncLine; }
    const QString& cameraLine(int kind) const { return kind == 1 ? m_cameraA : m_cameraB; }
    const QString& outputLine() const { return m_outputLine; }
    // Oldest first, at most five.
    const QStringList& messages() const { return m_messages; }
    bool isDirty() const { return m_dirty; }

    // Listeners see every message as it is added; the screen itself keeps only five.
    int addMessageListener(std::function<void(const QString&)> listener);
    void removeMessageListener(int id);

private:
    void print(int row, const QString& text);

    std::unique_ptr<console> m_console;
    QString m_banner;
    QString m_nowLine;
    QString m_syncLine;
    QString m_cameraA;
    QString m_cameraB;
    QString m_outputLine;
    QStringList m_messages;
    bool m_dirty = true;
    std::vector<std::pair<int, std::function<void(const QString&)>>> m_listeners;
    int m_nextListenerId = 1;
};

// Listens to the process-wide message log for as long as it lives.
class scopedMessageListener {
public:
    explicit scopedMessageListener(std::function<void(const QString&)> listener);
    ~scopedMessageListener();
    scopedMessageListener(const scopedMessageListener&) = delete;
    scopedMessageListener& operator=(const scopedMessageListener&) = delete;

private:
    int m_id;
};

// Adds one line to the process-wide message log.
void logMessage(const QString& text);

// "%1  Bytes" below 2048, "%1  kBytes" below 1048576, "%1  MBytes" above, in the default locale.
QString formatFileSize(uint32_t bytes);
