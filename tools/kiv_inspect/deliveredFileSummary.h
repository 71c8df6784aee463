// Summaries of the other files a camera computer delivers: the norm-video file (its raw and
// normalised video line, read as the station reads it for video.dat) and the camera log file
// (a text the station appends to its daily log).
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>

// Level statistics of one 1200-byte video line.
struct videoLineStats {
    int minimum;
    int maximum;
    double mean;
    int nonZero; // bytes above 0 (a file of fewer lines leaves the rest 0)
};

videoLineStats videoStats(const uint8_t* line);
QString videoStatsText(const videoLineStats& stats);
QJsonObject videoStatsJson(const videoLineStats& stats);

struct normVideoReport {
    QString name;
    int camera;    // 1 or 2
    bool readable; // the station would take it for video.dat
    videoLineStats raw;
    videoLineStats norm;
};

// Reads the norm-video file at `path` of camera 1 or 2.
normVideoReport inspectNormVideoFile(const QString& path, int camera);
QString normVideoSummaryText(const normVideoReport& report);
QJsonObject normVideoSummaryJson(const normVideoReport& report);

struct cameraLogReport {
    QString name;
    int camera;
    int64_t bytes;
    int64_t lines;
    QString firstLine;
    QString lastLine;
};

cameraLogReport inspectCameraLogFile(const QString& name, int camera, const QByteArray& bytes);
QString cameraLogSummaryText(const cameraLogReport& report);
QJsonObject cameraLogSummaryJson(const cameraLogReport& report);
