// "video.dat" read back: the raw and the normalised video line of camera A and B that the
// station wrote from the cameras' norm-video files, each section a label, the time it was
// written and 1200 level bytes; and its summary for a person and for scripts.
#pragma once

#include "input/videoSnapshot.h"
#include "kiv_inspect/deliveredFileSummary.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>

struct videoDatReport {
    QString name;
    bool readable = false;
    QString problem; // why not
    QString time;    // as written: "12:00:07, Sat Jun 01, 24"
    uint8_t raw[2][VIDEO_LINE_SIZE] = {};
    uint8_t norm[2][VIDEO_LINE_SIZE] = {};
};

videoDatReport readVideoDat(const QString& path);
QString videoDatSummaryText(const videoDatReport& report);
QJsonObject videoDatSummaryJson(const videoDatReport& report);
