#include "support/testSupport.h"

#include "status/statusScreen.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <unistd.h>

tempStation::tempStation() {
    EXPECT_TRUE(m_dir.isValid());
}

QString tempStation::file(const QString& relative) const {
    return m_dir.filePath(relative);
}

QString tempStation::mkdir(const QString& relative) const {
    QDir().mkpath(file(relative));
    return file(relative);
}

QString tempStation::write(const QString& relative, const QByteArray& content) const {
    QFile f(file(relative));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << relative.toStdString();
    f.write(content);
    f.close();
    return file(relative);
}

QByteArray tempStation::read(const QString& relative) const {
    QFile f(file(relative));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

bool tempStation::exists(const QString& relative) const {
    return QFile::exists(file(relative));
}

QStringList tempStation::list(const QString& relative) const {
    return QDir(file(relative))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

scopedWorkingDir::scopedWorkingDir(const QString& dir) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer))
        m_previous = buffer;
    EXPECT_EQ(chdir(QFile::encodeName(dir).constData()), 0);
}

scopedWorkingDir::~scopedWorkingDir() {
    if (!m_previous.isEmpty() && chdir(m_previous.constData()) != 0)
        ADD_FAILURE() << "cannot return to " << m_previous.constData();
}

logEntry messageEntry(const QString& text, severity level) {
    return {level, level == severity::error ? errorKind::other : errorKind::none,
            logChannel::messages, text};
}

messageCapture::messageCapture()
    : m_listener([this](const logEntry& entry) {
          if (entry.channel == logChannel::messages)
              m_messages.append(entry.text);
      }) {}

stderrCapture::stderrCapture() {
    std::fflush(stderr);
    m_file = std::tmpfile();
    m_saved = dup(STDERR_FILENO);
    dup2(fileno(m_file), STDERR_FILENO);
}

std::string stderrCapture::text() {
    if (!m_done) {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        std::rewind(m_file);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            m_text.append(buffer, n);
        std::fclose(m_file);
        m_done = true;
    }
    return m_text;
}

stderrCapture::~stderrCapture() {
    text();
}

scopedTimeZone::scopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    m_had = old != nullptr;
    if (old)
        m_previous = old;
    setenv("TZ", tz, 1);
    tzset();
}

scopedTimeZone::~scopedTimeZone() {
    if (m_had)
        setenv("TZ", m_previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

void recordingConsole::clear() {
    ++m_clears;
    m_drawn.clear();
}

void recordingConsole::print(int row, int col, const std::string& text) {
    m_drawn.push_back({row, col, text});
}

std::string recordingConsole::row(int r) const {
    std::string text;
    for (const drawn& d : m_drawn)
        if (d.row == r)
            text = d.text;
    return text;
}

long long localSeconds(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return (long long)mktime(&t);
}

long long utcSeconds(const char* text) {
    struct tm t = {};
    strptime(text, "%Y-%m-%d %H:%M:%S", &t);
    return (long long)timegm(&t);
}
