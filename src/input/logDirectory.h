// The station's daily camera logs: one text file per camera and local day in the log
// directory, to which every camera log file the cameras deliver is appended in full, framed
// by a header naming the file it came from.
#pragma once

#include <QSharedPointer>
#include <QString>

class logDirectory {
public:
    // The process-wide log directory, "C:\data\log\" until changed.
    static QSharedPointer<logDirectory> instance();

    logDirectory();
    // Takes `path` when that directory exists (made absolute); false keeps the old one.
    bool setPath(const QString& path);
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// Appends the camera log file at `logFilePath` of camera `kind` (1 or 2) to today's daily log
// "v<yy><ddd>_1.a.log" / ".b.log"; true when the whole block was written.
bool appendCameraLog(const logDirectory& directory, const QString& logFilePath, int kind);
