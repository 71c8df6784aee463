#include "status/statusScreen.h"

#include "platform/stationClock.h"
#include "status/plainLine.h"

#include <QLocale>

#include <ctime>

namespace {

const char* const PROGRAM_NAME = "acquire_kiv";
const int MAX_MESSAGES = 5;
// Lines are drawn through a buffer of 1024 bytes: at most 1023 characters.
const int LINE_BUFFER_SIZE = 1024;

const int ROW_BANNER = 2;
const int ROW_STATE = 3;
const int ROW_SYNC = 4;
const int ROW_NOW = 5;
const int ROW_LOCAL = 6;
const int ROW_CAMERA_A = 7;
const int ROW_CAMERA_B = 8;
const int ROW_OUTPUT = 9;
const int ROW_ERRORS = 10;
const int ROW_MESSAGES_TITLE = 11;
const int ROW_FIRST_MESSAGE = 13;
const int COLUMN = 1;

QString localText(int64_t second, const char* format) {
    time_t t = time_t(second);
    struct tm local;
    localtime_r(&t, &local);
    char text[32];
    strftime(text, sizeof text, format, &local);
    return QString::fromLatin1(text);
}

// "2026-12-08 10:00:05" in local time.
QString localDateTime(int64_t second) {
    return localText(second, "%Y-%m-%d %H:%M:%S");
}

// "10:00:05" in local time; a "since" of 0 is the start of the run.
QString sinceText(int64_t since, const stationHealth& health) {
    return localText(since > 0 ? since : health.startTime, "%H:%M:%S");
}

} // namespace

statusScreen& statusScreen::instance() {
    static statusScreen* screen = [] {
        auto* s = new statusScreen(openConsole());
        // Process-wide, like the log: it listens for as long as the process lives.
        addLogListener([s](const logEntry& entry) { s->addMessage(entry); });
        return s;
    }();
    return *screen;
}

statusScreen::statusScreen(std::unique_ptr<console> out) : m_console(std::move(out)) {
    m_banner = QStringLiteral("%1 :: version %2 :: build %3 %4")
                   .arg(QLatin1String(PROGRAM_NAME), QLatin1String(PROGRAM_VERSION),
                        QLatin1String(PROGRAM_BUILD_DATE), QLatin1String(PROGRAM_BUILD_TIME));
    reset();
    m_dirty = true;
    redraw();
}

void statusScreen::addMessage(const logEntry& entry) {
    if (entry.level == severity::error)
        ++m_errors;
    m_dirty = true;
    if (entry.channel != logChannel::messages)
        return;
    const QString& text = entry.text;
    m_messages.append(text);
    while (m_messages.size() > MAX_MESSAGES)
        m_messages.removeFirst();
    m_dirty = true;
    if (!m_console->isScreen())
        m_console->writeLine(
            printableAscii(plainMessageLine(entry.level, text, m_console->isJournal())));
}

void statusScreen::reset() {
    m_messages.clear();
    m_syncLine = QStringLiteral(
        "syncId : ---- :: at : ---------- :: resync at : ---------- :: reboot : --- ");
    m_nowLine = QStringLiteral("now    : ---------- / ----------------- ");
    m_localLine =
        QStringLiteral("local  : at ------------------- :: resync at -------------------");
    m_cameraA = QStringLiteral("A      : ------ frames :: ---------- :: file : -");
    m_cameraB = QStringLiteral("B      : ------ frames :: ---------- :: file : -");
    m_outputLine = QStringLiteral("out -> : ---- datafiles written");
    m_dirty = true;
}

void statusScreen::setStateLine(const stationHealth& health) {
    QString line =
        QStringLiteral("state  : %1 since %2")
            .arg(QLatin1String(phaseName(health.phase)), sinceText(health.phaseSince, health));
    for (int c = 0; c < 2; ++c)
        line += QStringLiteral(" :: %1 %2 since %3")
                    .arg(QLatin1Char(c == 0 ? 'A' : 'B'))
                    .arg(QLatin1String(cameraStateName(health.camera[c].state)),
                         sinceText(health.camera[c].stateSince, health));
    if (line == m_stateLine)
        return;
    m_stateLine = line;
    m_dirty = true;
}

void statusScreen::setSyncLine(uint16_t syncId, int32_t syncSecond, int32_t resyncSecond,
                               bool reboot) {
    m_syncLine = QStringLiteral("syncId : %1 :: at : %2 :: resync at : %3 :: reboot : ")
                     .arg(uint(syncId), 4, 10, QLatin1Char(' '))
                     .arg(qint64(syncSecond), 11, 10, QLatin1Char('0'))
                     .arg(qint64(resyncSecond), 11, 10, QLatin1Char('0')) +
                 QLatin1String(reboot ? "yes" : "no");
    // The same two seconds as the operator reads a clock: local date and time.
    m_localLine = QStringLiteral("local  : at %1 :: resync at %2")
                      .arg(localDateTime(syncSecond), localDateTime(resyncSecond));
    m_dirty = true;
}

void statusScreen::setCameraLine(cam camera, uint32_t newRecordCount, uint32_t lastFileSize,
                                 const QString& lastFileName) {
    QString* line = camera == cam::A ? &m_cameraA : camera == cam::B ? &m_cameraB : nullptr;
    if (line) {
        *line = QStringLiteral("%1      : %2 frames :: %3 :: file : %4")
                    .arg(QLatin1Char(camLetter(camera)))
                    .arg(qulonglong(newRecordCount), 6, 10, QLatin1Char('0'))
                    .arg(formatFileSize(lastFileSize), lastFileName);
    }
    m_dirty = true;
}

void statusScreen::setOutputLine(int32_t count) {
    m_outputLine =
        QStringLiteral("out -> : %1 datafiles written").arg(qint64(count), 4, 10, QLatin1Char(' '));
    m_dirty = true;
}

void statusScreen::redraw() {
    if (m_console->takeResize())
        m_dirty = true;
    if (!m_dirty)
        return;
    time_t t = time_t(currentSecond());
    struct tm local;
    localtime_r(&t, &local);
    char asc[64];
    asctime_r(&local, asc);
    m_nowLine = QStringLiteral("now    : %1 / %2")
                    .arg(qint64(t), 11, 10, QLatin1Char('0'))
                    .arg(QString::fromLatin1(asc));
    m_console->clear();
    print(ROW_BANNER, m_banner);
    print(ROW_STATE, m_stateLine);
    print(ROW_SYNC, m_syncLine);
    print(ROW_NOW, m_nowLine);
    print(ROW_LOCAL, m_localLine);
    print(ROW_CAMERA_A, m_cameraA);
    print(ROW_CAMERA_B, m_cameraB);
    print(ROW_OUTPUT, m_outputLine);
    print(ROW_ERRORS, QStringLiteral("errors : %1 since start").arg(m_errors));
    if (m_messages.isEmpty()) {
        print(ROW_MESSAGES_TITLE, QStringLiteral("No log messages"));
        print(ROW_FIRST_MESSAGE, QString());
    } else {
        print(ROW_MESSAGES_TITLE, QStringLiteral("Last log messages : "));
        int row = ROW_FIRST_MESSAGE;
        for (int i = m_messages.size() - 1; i >= 0; --i)
            print(row++, m_messages.at(i));
    }
    m_console->refresh();
    m_dirty = false;
}

void statusScreen::print(int row, const QString& text) {
    m_console->print(row, COLUMN, printableAscii(text.left(LINE_BUFFER_SIZE - 1)));
}

QString formatFileSize(uint32_t bytes) {
    if (bytes < 2048)
        return QStringLiteral("%1  Bytes").arg(qulonglong(bytes), 4, 10, QLatin1Char(' '));
    if (bytes < 1048576) {
        float kb = float(bytes) * (1.0f / 1024.0f);
        return QStringLiteral("%1  kBytes").arg(QLocale().toString(double(kb), 'f', 2));
    }
    float mb = float(bytes) * (1.0f / 1048576.0f);
    return QStringLiteral("%1  MBytes").arg(QLocale().toString(double(mb), 'f', 2));
}
