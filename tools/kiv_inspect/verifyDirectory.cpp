#include "kiv_inspect/verifyDirectory.h"

#include "output/datafileWriter.h"

#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inputFile.h"
#include "kiv_inspect/inspectTime.h"
#include "output/frameRecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

const char* const PART_SUFFIX = ".part";

bool expectedOther(const QString& name) {
    return name == QLatin1String("video.dat") || name == QLatin1String("REBOOT");
}

QString rangeText(const intervalGap& gap) {
    return QStringLiteral("%1 .. %2 local, %3 .. %4 UTC")
        .arg(clockText(gap.from), clockText(gap.to), clockText(utcOfLocal(gap.from)),
             clockText(utcOfLocal(gap.to)));
}

// A datafile the station wrote is a plain file of its own: a link under a datafile's name
// (to a file that may well read as a datafile) is none, and a FIFO would hold the read for
// good. Both are reported, not read.
bool readDatafileAt(const QString& path, QByteArray* bytes, QString* error) {
    struct stat st;
    if (lstat(QFile::encodeName(path).constData(), &st) != 0) {
        *error = QStringLiteral("cannot read %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *error = QStringLiteral("a link to %1, not a file the station wrote")
                     .arg(QFileInfo(path).symLinkTarget());
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = QStringLiteral("not a regular file (a FIFO, a socket or a device), not a file "
                                "the station wrote");
        return false;
    }
    return readInputFile(path, DATAFILE_BUFFER_SIZE, bytes, error);
}

int64_t missingSeconds(const std::vector<intervalGap>& gaps) {
    int64_t total = 0;
    for (const intervalGap& gap : gaps)
        total += gap.to - gap.from;
    return total;
}

} // namespace

verifyReport verifyDirectory(const QString& directory) {
    verifyReport r;
    r.directory = directory;
    r.datafiles = 0;
    r.first = r.last = -1;
    QDir dir(directory);
    r.listed = dir.exists() && dir.isReadable();
    if (!r.listed)
        return r;
    std::vector<int64_t> seconds;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (name.endsWith(QLatin1String(PART_SUFFIX))) {
            r.stray << name;
            continue;
        }
        int64_t second = datafileLocalSecond(name);
        if (second < 0) {
            if (!expectedOther(name))
                r.others << name;
            continue;
        }
        ++r.datafiles;
        seconds.push_back(second);
        QByteArray bytes;
        QString error;
        if (!readDatafileAt(dir.filePath(name), &bytes, &error)) {
            datafileVerdict v = checkDatafile(name, QByteArray());
            v.problems.assign(1, inspectProblem{-1, error});
            r.damaged.push_back(v);
            continue;
        }
        datafileVerdict v = checkDatafile(name, bytes);
        if (!v.intact())
            r.damaged.push_back(v);
    }
    QDir again(dir.filePath(QLatin1String(REPEATED_DATAFILE_DIR)));
    const QStringList repeated =
        again.exists() ? again.entryList(QDir::Files | QDir::Hidden, QDir::Name) : QStringList();
    for (const QString& name : repeated) {
        const QString path = QLatin1String(REPEATED_DATAFILE_DIR) + QLatin1Char('/') + name;
        if (name.endsWith(QLatin1String(PART_SUFFIX))) {
            r.stray << path;
            continue;
        }
        // "<usual name>.<pass>": the usual name dates the interval.
        const QString usual = name.left(name.lastIndexOf(QLatin1Char('.')));
        if (datafileLocalSecond(usual) < 0) {
            r.others << path;
            continue;
        }
        r.repeated << path;
        QByteArray bytes;
        QString error;
        datafileVerdict v = checkDatafile(usual, QByteArray());
        if (!readDatafileAt(again.filePath(name), &bytes, &error))
            v.problems.assign(1, inspectProblem{-1, error});
        else
            v = checkDatafile(usual, bytes);
        v.name = path;
        if (!v.intact())
            r.damaged.push_back(v);
    }
    std::sort(seconds.begin(), seconds.end());
    if (!seconds.empty()) {
        r.first = seconds.front();
        r.last = seconds.back();
    }
    for (size_t i = 1; i < seconds.size(); ++i)
        if (seconds[i] - seconds[i - 1] > INTERVAL_LENGTH)
            r.gaps.push_back({seconds[i - 1] + INTERVAL_LENGTH, seconds[i]});
    return r;
}

QString verifyText(const verifyReport& r) {
    if (!r.listed)
        return QStringLiteral("verify %1: not a readable directory\n").arg(r.directory);
    QString text = QStringLiteral("verify %1\n").arg(r.directory);
    for (const datafileVerdict& v : r.damaged) {
        text += QStringLiteral("  %1  DAMAGED  %2\n").arg(v.name, problemText(v.problems.front()));
        for (size_t i = 1; i < v.problems.size(); ++i)
            text += QStringLiteral("  %1           %2\n")
                        .arg(QString(v.name.size(), QLatin1Char(' ')), problemText(v.problems[i]));
    }
    for (const intervalGap& gap : r.gaps)
        text += QStringLiteral("  gap    %1 (%2 s, %3)\n")
                    .arg(rangeText(gap))
                    .arg(gap.to - gap.from)
                    .arg(plural((gap.to - gap.from + 2) / 3, "interval", "intervals"));
    for (const QString& name : r.stray)
        text += QStringLiteral("  stray  %1\n").arg(name);
    for (const QString& name : r.repeated)
        text += QStringLiteral("  repeated  %1 (a second pass of its interval)\n").arg(name);
    for (const QString& name : r.others)
        text += QStringLiteral("  other  %1 (not a datafile)\n").arg(name);
    QString span;
    if (r.first >= 0)
        span = QStringLiteral(" (%1 .. %2 local)").arg(clockText(r.first), clockText(r.last + 3));
    text += QStringLiteral("summary: %1%2, %3 intact, %4 damaged, %5 (%6 s missing), %7\n")
                .arg(plural(r.datafiles, "datafile", "datafiles"), span)
                .arg(r.datafiles + int(r.repeated.size()) - int(r.damaged.size()))
                .arg(r.damaged.size())
                .arg(plural(int64_t(r.gaps.size()), "gap", "gaps"))
                .arg(missingSeconds(r.gaps))
                .arg(plural(r.stray.size(), "stray .part file", "stray .part files"));
    return text;
}

QJsonObject verifyJson(const verifyReport& r) {
    QJsonObject o;
    o["kind"] = "directory_check";
    o["directory"] = r.directory;
    o["readable"] = r.listed;
    o["datafiles"] = r.datafiles;
    o["intact_files"] = r.datafiles + int(r.repeated.size()) - int(r.damaged.size());
    if (r.first >= 0) {
        o["first_local"] = clockText(r.first);
        o["last_local"] = clockText(r.last);
    }
    QJsonArray damaged;
    for (const datafileVerdict& v : r.damaged) {
        QJsonObject file;
        file["file"] = v.name;
        file["problems"] = problemsJson(v.problems);
        damaged.append(file);
    }
    o["damaged"] = damaged;
    QJsonArray gaps;
    for (const intervalGap& gap : r.gaps) {
        QJsonObject g;
        g["from_local"] = clockText(gap.from);
        g["to_local"] = clockText(gap.to);
        g["from_utc"] = clockText(utcOfLocal(gap.from));
        g["to_utc"] = clockText(utcOfLocal(gap.to));
        g["seconds"] = qint64(gap.to - gap.from);
        gaps.append(g);
    }
    o["gaps"] = gaps;
    o["stray"] = QJsonArray::fromStringList(r.stray);
    o["repeated"] = QJsonArray::fromStringList(r.repeated);
    o["others"] = QJsonArray::fromStringList(r.others);
    o["intact"] = r.intact();
    return o;
}
