// The station's daily camera logs: one text file per camera and local day in the log
// directory, to which every camera log file the cameras deliver is appended in full, framed
// by a header naming the file it came from.
#pragma once

#include <QSharedPointer>
#include <QString>
#include <QStringList>

class logDirectory {
public:
    // The process-wide log directory, "C:\data\log\" until changed.
    static QSharedPointer<logDirectory> instance();

    logDirectory();
    // Takes `path` when that directory exists (made absolute); false keeps the old one.
    bool setPath(const QString& path);
    const QString& path() const { return m_path; }

    // Tells that the daily log `dailyPath` is no file of the station's own (`reason`), once
    // until that daily log is written again.
    void tellRefused(const QString& dailyPath, const QString& reason);
    void appended(const QString& dailyPath) { m_refusedTold.removeAll(dailyPath); }

private:
    QString m_path;
    QStringList m_refusedTold; // the daily logs whose refusal was told
};

// Appends the camera log file at `logFilePath` of camera `kind` (1 or 2) to today's daily log
// "v<yy><ddd>_1.a.log" / ".b.log"; true when the whole block was written. A daily log that is
// no plain file of the station's own (a link, a FIFO, a second name of another file, a
// directory) is never written through nor waited on: false, `*refused` set and the refusal
// told by `directory`; the measurement goes on without that day's log.
bool appendCameraLog(logDirectory& directory, const QString& logFilePath, int kind,
                     bool* refused = nullptr);
