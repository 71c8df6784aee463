// One datafile judged as a whole: the reader's layout and checksum verdict, the frame data
// decoded, and whether the name, the sync header and the times of the frames tell the same
// interval. The summary and the directory check give the same verdict for the same file.
#pragma once

#include "format/datafileReader.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// One thing wrong with a file; offset -1 when it concerns no single byte (the name).
struct inspectProblem {
    int64_t offset;
    QString text;
};

// "at byte 120: ..." or the text alone.
QString problemText(const inspectProblem& problem);

struct datafileVerdict {
    QString name;
    int64_t size;
    datafileContent content;
    bool layoutIntact;      // the reader found no problem
    int64_t nameSecond;     // local second count the name stands for, -1 for another name
    int64_t intervalSecond; // interval start (local): from the name, else the first frame
    bool intervalFromName;  // else from the first frame, or unknown (-1)
    std::vector<inspectProblem> problems; // in file order; empty when intact
    bool intact() const { return problems.empty(); }
};

// Judges the datafile `bytes` read from a file called `name`.
datafileVerdict checkDatafile(const QString& name, const QByteArray& bytes);

// Frames, lines and frame data bytes of one camera (1 or 2).
struct cameraTally {
    int frames = 0;
    int64_t lines = 0;
    int64_t bytes = 0;
};
cameraTally tallyCamera(const datafileContent& content, int camera);

// Local second count of the first line of `entry`: the UTC time of the sync day's local
// midnight plus its line position over the line frequency, shown on the local clock of that
// moment (in this computer's time zone, the station's own when run there).
double entryLocalTime(const datafileContent& content, const datafileEntry& entry);
