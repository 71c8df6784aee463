// The figures of one local day of a datafile directory, as the day view shows them: per
// minute the intervals present, each camera's frames, lines and shadowed lines of every pixel;
// the intervals missing while the station ran, those of times it did not run, and those
// damaged; a camera's outage while the other camera went on; and the day's synchronisations
// from the sync list.
// Datafiles are read in parallel, one at a time per thread, each thread taking the next
// minute's files when it is free, and their frames counted from the run-length codes without
// building lines, so a day of heavy rain needs little memory.
#pragma once

#include "kiv_inspect/syncListFile.h"

#include <QString>

#include <cstdint>
#include <vector>

const int DAY_MINUTES = 1440;
const int DAY_INTERVALS = 28800;
const int INTERVALS_PER_MINUTE = 20;
// A running station writes an interval's datafile some seconds after its end (the next poll,
// then the processing window): until then the interval is not yet due.
const int64_t DATAFILE_DELAY = 15;

// What became of one interval of the day.
enum intervalState : uint8_t {
    INTERVAL_MISSING = 0,    // no datafile, while the station ran
    INTERVAL_PRESENT = 1,    // a datafile that reads whole
    INTERVAL_DAMAGED = 2,    // a datafile that does not
    INTERVAL_FUTURE = 3,     // not yet due when the view was made
    INTERVAL_NOT_RUNNING = 4 // no datafile: the station did not run (dayGap::notRunning)
};

// A span without datafiles is a time the station did not run when it lies before the day's
// first datafile or after its last, or lasts at least this many intervals (2 minutes): longer
// than a resync, camera reboot included, keeps a running station from writing. Shorter spans
// are intervals missing while it ran.
const int NOT_RUNNING_INTERVALS = 40;
// A camera saw rain in a minute when it sent at least this many frames with shadow on at least
// this many pixels: a dirty spot on its window sends frames too, but on the same few pixels.
// A camera is out in a minute with datafiles when it sent no frame while the other saw rain.
const int64_t RAIN_FRAMES = 3;
const int RAIN_PIXELS = 16;

// Intervals [from, to) of the day without a datafile.
struct dayGap {
    int from;
    int to;
    bool notRunning; // the station did not run (INTERVAL_NOT_RUNNING), else missing while running
};

// The intervals of one minute by what became of them.
struct minuteIntervals {
    int present = 0;
    int missing = 0; // while the station ran
    int damaged = 0;
    int notRunning = 0;
    int future = 0;
    // The share of the intervals due while the station ran that have a whole datafile; -1
    // when there was none.
    double sharePresent() const;
};

struct dayFigures {
    QString directory;
    int64_t dayStart = 0; // local second count of the day's midnight
    int window = 0;       // pixels counted per camera (the first datafile's capture window)
    int datafiles = 0;    // files of the day named as datafiles
    int damaged = 0;
    std::vector<QString> damagedNames;    // the first few
    std::vector<uint8_t> intervals;       // DAY_INTERVALS intervalStates
    std::vector<int> present;             // per minute: intervals with a whole datafile
    std::vector<double> capacity;         // per minute: lines the cameras could have seen
    std::vector<int64_t> frames[2];       // per minute, camera A and B
    std::vector<int64_t> lines[2];        // per minute: lines delivered in frames
    std::vector<int64_t> shadowed[2];     // per minute and pixel (minute * window + pixel)
    std::vector<int64_t> undecodedFrames; // per camera: frames of whole files that did not decode
    syncListReport syncList;              // empty when none was found
    QString syncListPath;

    // frames[camera A] / frames[camera B] of a minute; negative when either saw no frame.
    double ratio(int minute) const;
    // Share of the lines of `minute` (or of the whole day, minute -1) in which pixel `pixel`
    // of camera 0 (A) or 1 (B) was in shadow; lines not delivered in frames were light.
    double occupancy(int camera, int minute, int pixel) const;
    double dayOccupancy(int camera, int pixel) const;
    // The spans without a datafile (not yet due ones aside), in time order; damaged ones are
    // counted apart.
    std::vector<dayGap> gaps() const;
    // Intervals without a datafile, whether the station ran or not.
    int missingIntervals() const;
    int intervalsIn(intervalState state) const;
    minuteIntervals minute(int minute) const;
    // Camera 0 (A) or 1 (B) saw rain in the minute (RAIN_FRAMES, RAIN_PIXELS).
    bool sawRain(int camera, int minute) const;
    // The camera sent no frame in a minute with datafiles while the other camera saw rain.
    bool cameraOut(int camera, int minute) const;
};

// The local day starting at `dayStart` (local second count of a midnight) of the datafiles in
// `directory`; the sync list from `syncListPath` when not empty. `now` is the local second
// count of the present (intervals not ended DATAFILE_DELAY before it are not missing but due);
// `threads` readers.
dayFigures scanDay(const QString& directory, int64_t dayStart, const QString& syncListPath,
                   int64_t now, int threads);

// The local midnight of the newest datafile in `directory`, or -1 when there is none.
int64_t newestDay(const QString& directory);
// The local midnight of "YYYY-MM-DD", or -1.
int64_t dayOfDate(const QString& date);
// Where the sync list of the day is found: in `directory`, or in "sync" beside it. Empty
// when neither holds it.
QString findSyncList(const QString& directory, int64_t dayStart);
