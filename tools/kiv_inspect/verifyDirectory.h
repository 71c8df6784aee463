// The check of a whole datafile directory: every datafile judged as the summary judges it,
// the gaps between consecutive intervals as time ranges, and ".part" files that a write left
// behind. Anything damaged or left behind makes the directory not intact; gaps are outages,
// not damage.
#pragma once

#include "kiv_inspect/datafileCheck.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

struct intervalGap {
    int64_t from; // local second count of the first missing interval
    int64_t to;   // local second count of the next interval present
};

struct verifyReport {
    QString directory;
    bool listed;   // the directory could be read
    int datafiles; // files named as datafiles
    int64_t first; // first and last interval (local), -1 when none
    int64_t last;
    std::vector<datafileVerdict> damaged;
    std::vector<intervalGap> gaps;
    QStringList stray; // ".part" files
    // Second passes of an interval whose name was taken (the end of summer time, a clock set
    // back), kept as "repeated/<name>.<n>"; checked as datafiles, named here.
    QStringList repeated;
    QStringList others; // files that are neither (video.dat and REBOOT excepted)
    bool intact() const { return listed && damaged.empty() && stray.isEmpty(); }
};

verifyReport verifyDirectory(const QString& directory);

QString verifyText(const verifyReport& report);
QJsonObject verifyJson(const verifyReport& report);
