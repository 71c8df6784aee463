// Helpers shared by the test programs: a temporary station folder, the messages added to the
// message log, captured standard error, injected file faults and the time zone of a test.
#pragma once

#include "platform/console.h"
#include "platform/fileOps.h"
#include "status/statusScreen.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <string>
#include <vector>

// A temporary directory, removed with everything in it at the end of the test.
class tempStation {
public:
    tempStation();
    QString path() const { return m_dir.path(); }
    // Absolute path of `relative` inside the folder.
    QString file(const QString& relative) const;
    // Creates the directory `relative` (with parents) and returns its absolute path.
    QString mkdir(const QString& relative) const;
    // Writes `content` to `relative` and returns the absolute path.
    QString write(const QString& relative, const QByteArray& content) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    // Names of the entries of directory `relative`, sorted.
    QStringList list(const QString& relative = QString()) const;

private:
    QTemporaryDir m_dir;
};

// Runs the test in another working directory and comes back afterwards.
class scopedWorkingDir {
public:
    explicit scopedWorkingDir(const QString& dir);
    ~scopedWorkingDir();

private:
    QByteArray m_previous;
};

// A message of the log as the screen is given it; info unless told.
logEntry messageEntry(const QString& text, severity level = severity::info);

// Every message added to the process-wide message log while it lives.
class messageCapture {
public:
    messageCapture();
    const QStringList& messages() const { return m_messages; }
    void clear() { m_messages.clear(); }

private:
    QStringList m_messages;
    scopedLogListener m_listener;
};

// Everything the code under test writes to standard error while it lives.
class stderrCapture {
public:
    stderrCapture();
    ~stderrCapture();
    // Stops capturing (if still running) and returns the text.
    std::string text();

private:
    int m_saved = -1;
    FILE* m_file = nullptr;
    std::string m_text;
    bool m_done = false;
};

// Installs a file-fault hook for the lifetime of the guard.
class scopedFileFaults {
public:
    explicit scopedFileFaults(fileFaultHook hook) { setFileFaultHook(std::move(hook)); }
    ~scopedFileFaults() { setFileFaultHook(nullptr); }
};

// Sets TZ for the test and restores it afterwards.
class scopedTimeZone {
public:
    explicit scopedTimeZone(const char* tz);
    ~scopedTimeZone();

private:
    bool m_had;
    std::string m_previous;
};

// A console that records what is drawn, for screen tests.
class recordingConsole : public console {
public:
    struct drawn {
        int row;
        int col;
        std::string text;
    };
    bool isScreen() const override { return m_screen; }
    bool isJournal() const override { return m_journal; }
    void clear() override;
    void print(int row, int col, const std::string& text) override;
    void refresh() override { ++m_refreshes; }
    void writeLine(const std::string& text) override { m_lines.push_back(text); }

    bool m_screen = true;
    bool m_journal = false;
    int m_clears = 0;
    int m_refreshes = 0;
    std::vector<drawn> m_drawn;       // since the last clear
    std::vector<std::string> m_lines; // plain lines
    // Text drawn at `row` since the last clear, or "" when nothing was drawn there.
    std::string row(int r) const;
};

// Seconds since the epoch of a local date and time in the current time zone.
long long localSeconds(int year, int month, int day, int hour, int minute, int second);
// Seconds since the epoch of "YYYY-MM-DD HH:MM:SS" read as UTC.
long long utcSeconds(const char* text);
