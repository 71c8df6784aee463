// The status screen: a banner, the current synchronisation, the clock, one line per camera,
// the datafiles written and the newest five messages of the message log, which it listens to.
// Without a terminal each message becomes one time-stamped line on standard output instead.
#pragma once

#include "config/camera.h"
#include "log/messageLog.h"
#include "platform/console.h"
#include "platform/version.h"
#include "status/stationHealth.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class statusScreen {
public:
    // The process-wide screen, created (console set up, first screen drawn) on first use.
    static statusScreen& instance();

    // A screen drawing on `out`; tests give it a recording console.
    explicit statusScreen(std::unique_ptr<console> out);

    // Shows a message of the log (standard-error entries are not the screen's).
    void addMessage(const logEntry& entry);
    // Placeholder lines and an empty message log.
    void reset();
    // Draws the screen if anything changed since the last draw.
    void redraw();
    void setSyncLine(uint16_t syncId, int32_t syncSecond, int32_t resyncSecond, bool reboot);
    // Fills the line of camera A or B; cam::none changes nothing.
    void setCameraLine(cam camera, uint32_t newRecordCount, uint32_t lastFileSize,
                       const QString& lastFileName);
    void setOutputLine(int32_t count);
    // The run's phase and both cameras' handshake states by name, each with the local time it
    // was entered; the screen changes only when one of them does.
    void setStateLine(const stationHealth& health);

    const QString& banner() const { return m_banner; }
    const QString& nowLine() const { return m_nowLine; }
    // The sync and resync seconds in local date and time.
    const QString& localLine() const { return m_localLine; }
    // Error messages since the start (the log's and standard error's).
    uint64_t errors() const { return m_errors; }
    const QString& syncLine() const { return m_syncLine; }
    const QString& cameraLine(cam camera) const { return camera == cam::A ? m_cameraA : m_cameraB; }
    const QString& outputLine() const { return m_outputLine; }
    const QString& stateLine() const { return m_stateLine; }
    // Oldest first, at most five.
    const QStringList& messages() const { return m_messages; }
    bool isDirty() const { return m_dirty; }

private:
    void print(int row, const QString& text);

    std::unique_ptr<console> m_console;
    QString m_banner;
    QString m_nowLine;
    QString m_localLine;
    uint64_t m_errors = 0;
    QString m_syncLine;
    QString m_cameraA;
    QString m_cameraB;
    QString m_outputLine;
    QString m_stateLine;
    QStringList m_messages;
    bool m_dirty = true;
};

// "%1  Bytes" below 2048, "%1  kBytes" below 1048576, "%1  MBytes" above, in the default locale.
QString formatFileSize(uint32_t bytes);
