// The summary of one datafile for a person (text) and for scripts (JSON): the sync header,
// the interval as local and UTC time, the frame entries per camera, the end positions, the
// checksum and the verdict with every problem found.
#pragma once

#include "kiv_inspect/datafileCheck.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

QString datafileSummaryText(const datafileVerdict& verdict);
QJsonObject datafileSummaryJson(const datafileVerdict& verdict);

// One "label   value" line of a summary, and one inside a section (indented); the values of
// both start in the same column.
QString summaryLine(const char* label, const QString& value);
QString sectionLine(const char* label, const QString& value);
// "verdict  intact", or "verdict  DAMAGED" and one "problem" line for each problem.
QString verdictLines(const std::vector<inspectProblem>& problems);
// "1 frame", "2 frames".
QString plural(int64_t count, const char* one, const char* many);
// "2023-11-15 00:00:30 local, 2023-11-15 00:00:30 UTC" for a local second count.
QString localAndUtc(int64_t localSecond);
// JSON array of the problems: {"offset": n or null, "text": "..."}.
QJsonArray problemsJson(const std::vector<inspectProblem>& problems);
