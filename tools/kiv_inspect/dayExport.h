// The day view's figures for scripts: one JSON object (the day, its gaps and
// synchronisations, a row per minute, the day's occupancy of every pixel) and two CSV tables,
// one row per minute and one per pixel. Field and column names are the same in both.
#pragma once

#include "kiv_inspect/dayFigures.h"

#include <QJsonObject>
#include <QString>

QJsonObject dayJson(const dayFigures& day);
// "minute,local_time,intervals_present,frames_a,..." and a line per minute.
QString dayMinutesCsv(const dayFigures& day);
// "pixel,occupancy_a,occupancy_b" and a line per pixel.
QString dayPixelsCsv(const dayFigures& day);
// A few lines for a person: what the day holds and where data is missing.
QString dayText(const dayFigures& day);
