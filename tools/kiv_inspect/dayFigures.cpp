#include "kiv_inspect/dayFigures.h"

#include "format/datafileReader.h"
#include "kiv_inspect/inspectTime.h"
#include "kiv_inspect/shadowTally.h"
#include "output/frameRecord.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const int64_t DAY = 86400;
const size_t DAMAGED_NAMES_KEPT = 20;
const int DEFAULT_WINDOW = 632;
const int MAX_WINDOW = 4096;

struct namedFile {
    int64_t second;
    QString name;
};

std::vector<namedFile> datafilesOf(const QString& directory) {
    std::vector<namedFile> files;
    const QStringList names = QDir(directory).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
        int64_t second = datafileLocalSecond(name);
        if (second >= 0)
            files.push_back({second, name});
    }
    return files;
}

// Reads the whole file at `path` into `buffer`; false when it cannot or is larger than any
// datafile.
bool readWhole(const QString& path, std::vector<uint8_t>* buffer) {
    int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && info.st_size <= DATAFILE_BUFFER_SIZE;
    size_t done = 0;
    if (ok) {
        buffer->resize(size_t(info.st_size));
        while (done < buffer->size()) {
            ssize_t got = ::read(fd, buffer->data() + done, buffer->size() - done);
            if (got <= 0)
                break;
            done += size_t(got);
        }
    }
    ::close(fd);
    return ok && done == buffer->size();
}

// One reader's share of the day: its own counts, summed up afterwards.
struct partialDay {
    explicit partialDay(int window)
        : present(DAY_MINUTES, 0), capacity(DAY_MINUTES, 0.0), tally(window) {
        for (int c = 0; c < 2; ++c) {
            frames[c].assign(DAY_MINUTES, 0);
            lines[c].assign(DAY_MINUTES, 0);
            difference[c].assign(size_t(DAY_MINUTES) * size_t(window + 1), 0);
        }
    }
    std::vector<int> present;
    std::vector<double> capacity;
    std::vector<int64_t> frames[2];
    std::vector<int64_t> lines[2];
    std::vector<int64_t> difference[2]; // per minute: window + 1 differences of shadowed lines
    int64_t undecoded[2] = {0, 0};
    std::vector<std::pair<int, bool>> states; // interval, reads whole
    std::vector<size_t> damagedFiles; // the first few this reader met, as indices into the files
    shadowTally tally;
};

// The day's files in shares of whole minutes, handed out in turn to whichever reader is free:
// rain falls unevenly over a day, and a reader never waits for another. Every minute is
// counted by one reader alone, so its figures do not depend on how the day was shared out.
class minuteShares {
public:
    explicit minuteShares(const std::vector<namedFile>& files, int64_t dayStart) {
        for (size_t i = 0; i < files.size(); ++i)
            if (i == 0 || minuteOf(files[i], dayStart) != minuteOf(files[i - 1], dayStart))
                m_starts.push_back(i);
        m_starts.push_back(files.size());
    }
    // The next share [from, to) of the files; false when all are taken.
    bool take(size_t* from, size_t* to) {
        const size_t share = m_next.fetch_add(1);
        if (share + 1 >= m_starts.size())
            return false;
        *from = m_starts[share];
        *to = m_starts[share + 1];
        return true;
    }

private:
    static int64_t minuteOf(const namedFile& file, int64_t dayStart) {
        return (file.second - dayStart) / (INTERVAL_LENGTH * INTERVALS_PER_MINUTE);
    }
    std::vector<size_t> m_starts;
    std::atomic<size_t> m_next{0};
};

void readShares(const QString& directory, int64_t dayStart, const std::vector<namedFile>& files,
                minuteShares* shares, partialDay* part) {
    std::vector<uint8_t> bytes;
    datafileContent content;
    datafileProblem problem;
    const int window = part->tally.window();
    size_t from = 0;
    size_t to = 0;
    while (shares->take(&from, &to))
        for (size_t i = from; i < to; ++i) {
            int interval = int((files[i].second - dayStart) / INTERVAL_LENGTH);
            bool whole = readWhole(directory + QLatin1Char('/') + files[i].name, &bytes) &&
                         readDatafile(bytes.data(), bytes.size(), &content, &problem);
            part->states.push_back({interval, whole});
            if (!whole) {
                if (part->damagedFiles.size() < DAMAGED_NAMES_KEPT)
                    part->damagedFiles.push_back(i);
                continue;
            }
            int minute = interval / INTERVALS_PER_MINUTE;
            ++part->present[size_t(minute)];
            part->capacity[size_t(minute)] += INTERVAL_LENGTH * content.sync.lineFrequency;
            for (const datafileEntry& entry : content.entries) {
                int c = entry.cameraId == 1 ? 0 : 1;
                int64_t* difference = &part->difference[c][size_t(minute) * size_t(window + 1)];
                if (!part->tally.addFrame(bytes.data(), bytes.size(), entry, difference)) {
                    ++part->undecoded[c];
                    continue;
                }
                ++part->frames[c][size_t(minute)];
                part->lines[c][size_t(minute)] += entry.numLines;
            }
        }
}

int windowOfFirst(const QString& directory, const std::vector<namedFile>& files) {
    std::vector<uint8_t> bytes;
    datafileContent content;
    datafileProblem problem;
    for (const namedFile& f : files)
        if (readWhole(directory + QLatin1Char('/') + f.name, &bytes) &&
            readDatafile(bytes.data(), bytes.size(), &content, &problem) &&
            content.sync.windowRight > content.sync.windowLeft)
            return std::min(int(content.sync.windowRight - content.sync.windowLeft), MAX_WINDOW);
    return DEFAULT_WINDOW;
}

// The spans without a datafile in which the station did not run: before the first datafile,
// after the last one (up to the intervals not yet due), and every span long enough.
void markNotRunning(std::vector<uint8_t>* intervals) {
    std::vector<uint8_t>& states = *intervals;
    const int count = int(states.size());
    for (int i = 0; i < count;) {
        if (states[size_t(i)] != INTERVAL_MISSING) {
            ++i;
            continue;
        }
        int end = i;
        while (end < count && states[size_t(end)] == INTERVAL_MISSING)
            ++end;
        const bool open = i == 0 || end == count || states[size_t(end)] == INTERVAL_FUTURE;
        if (open || end - i >= NOT_RUNNING_INTERVALS)
            std::fill(states.begin() + i, states.begin() + end, uint8_t(INTERVAL_NOT_RUNNING));
        i = end;
    }
}

template <typename T> void addInto(std::vector<T>* sum, const std::vector<T>& part) {
    for (size_t i = 0; i < sum->size(); ++i)
        (*sum)[i] += part[i];
}

} // namespace

double dayFigures::ratio(int minute) const {
    int64_t a = frames[0][size_t(minute)];
    int64_t b = frames[1][size_t(minute)];
    return a > 0 && b > 0 ? double(a) / double(b) : -1.0;
}

double dayFigures::occupancy(int camera, int minute, int pixel) const {
    double lines = capacity[size_t(minute)];
    return lines > 0
               ? double(shadowed[camera][size_t(minute) * size_t(window) + size_t(pixel)]) / lines
               : 0.0;
}

double dayFigures::dayOccupancy(int camera, int pixel) const {
    double lines = 0;
    int64_t shadow = 0;
    for (int m = 0; m < DAY_MINUTES; ++m) {
        lines += capacity[size_t(m)];
        shadow += shadowed[camera][size_t(m) * size_t(window) + size_t(pixel)];
    }
    return lines > 0 ? double(shadow) / lines : 0.0;
}

std::vector<dayGap> dayFigures::gaps() const {
    std::vector<dayGap> result;
    for (int i = 0; i < DAY_INTERVALS; ++i) {
        const uint8_t state = intervals[size_t(i)];
        if (state != INTERVAL_MISSING && state != INTERVAL_NOT_RUNNING)
            continue;
        if (!result.empty() && result.back().to == i)
            result.back().to = i + 1;
        else
            result.push_back({i, i + 1, state == INTERVAL_NOT_RUNNING});
    }
    return result;
}

int dayFigures::intervalsIn(intervalState state) const {
    return int(std::count(intervals.begin(), intervals.end(), uint8_t(state)));
}

int dayFigures::missingIntervals() const {
    return intervalsIn(INTERVAL_MISSING) + intervalsIn(INTERVAL_NOT_RUNNING);
}

double minuteIntervals::sharePresent() const {
    const int ran = present + missing + damaged;
    return ran > 0 ? double(present) / ran : -1.0;
}

minuteIntervals dayFigures::minute(int minute) const {
    minuteIntervals m;
    for (int i = 0; i < INTERVALS_PER_MINUTE; ++i) {
        switch (intervals[size_t(minute * INTERVALS_PER_MINUTE + i)]) {
        case INTERVAL_PRESENT:
            ++m.present;
            break;
        case INTERVAL_MISSING:
            ++m.missing;
            break;
        case INTERVAL_DAMAGED:
            ++m.damaged;
            break;
        case INTERVAL_NOT_RUNNING:
            ++m.notRunning;
            break;
        default:
            ++m.future;
            break;
        }
    }
    return m;
}

bool dayFigures::sawRain(int camera, int minute) const {
    if (frames[camera][size_t(minute)] < RAIN_FRAMES)
        return false;
    const int64_t* pixels = &shadowed[camera][size_t(minute) * size_t(window)];
    return std::count_if(pixels, pixels + window, [](int64_t lines) { return lines > 0; }) >=
           RAIN_PIXELS;
}

bool dayFigures::cameraOut(int camera, int minute) const {
    return present[size_t(minute)] > 0 && frames[camera][size_t(minute)] == 0 &&
           sawRain(1 - camera, minute);
}

dayFigures scanDay(const QString& directory, int64_t dayStart, const QString& syncListPath,
                   int64_t now, int threads) {
    dayFigures day;
    day.directory = directory;
    day.dayStart = dayStart;
    std::vector<namedFile> files;
    for (const namedFile& f : datafilesOf(directory))
        if (f.second >= dayStart && f.second < dayStart + DAY)
            files.push_back(f);
    day.datafiles = int(files.size());
    day.window = windowOfFirst(directory, files);

    threads = std::max(1, std::min(threads, int(files.size())));
    std::vector<std::unique_ptr<partialDay>> parts;
    std::vector<std::thread> readers;
    for (int t = 0; t < threads; ++t)
        parts.emplace_back(new partialDay(day.window));
    minuteShares shares(files, dayStart);
    for (int t = 0; t < threads; ++t)
        readers.emplace_back(readShares, directory, dayStart, std::cref(files), &shares,
                             parts[size_t(t)].get());
    for (std::thread& reader : readers)
        reader.join();

    day.intervals.assign(DAY_INTERVALS, INTERVAL_MISSING);
    for (int i = 0; i < DAY_INTERVALS; ++i)
        if (dayStart + int64_t(i + 1) * INTERVAL_LENGTH + DATAFILE_DELAY > now)
            day.intervals[size_t(i)] = INTERVAL_FUTURE;
    day.present.assign(DAY_MINUTES, 0);
    day.capacity.assign(DAY_MINUTES, 0.0);
    day.undecodedFrames.assign(2, 0);
    for (int c = 0; c < 2; ++c) {
        day.frames[c].assign(DAY_MINUTES, 0);
        day.lines[c].assign(DAY_MINUTES, 0);
        day.shadowed[c].assign(size_t(DAY_MINUTES) * size_t(day.window), 0);
    }
    // The first damaged files of the day are among the first each reader met.
    std::vector<size_t> damagedFiles;
    for (const std::unique_ptr<partialDay>& part : parts)
        damagedFiles.insert(damagedFiles.end(), part->damagedFiles.begin(),
                            part->damagedFiles.end());
    std::sort(damagedFiles.begin(), damagedFiles.end());
    for (size_t i = 0; i < damagedFiles.size() && i < DAMAGED_NAMES_KEPT; ++i)
        day.damagedNames.push_back(files[damagedFiles[i]].name);
    for (const std::unique_ptr<partialDay>& part : parts) {
        for (const std::pair<int, bool>& s : part->states) {
            uint8_t& state = day.intervals[size_t(s.first)];
            // A whole datafile wins over a damaged one of the same interval.
            if (state != INTERVAL_PRESENT)
                state = s.second ? INTERVAL_PRESENT : INTERVAL_DAMAGED;
            day.damaged += !s.second;
        }
        addInto(&day.present, part->present);
        addInto(&day.capacity, part->capacity);
        for (int c = 0; c < 2; ++c) {
            addInto(&day.frames[c], part->frames[c]);
            addInto(&day.lines[c], part->lines[c]);
            for (int m = 0; m < DAY_MINUTES; ++m)
                addShadowCounts(&part->difference[c][size_t(m) * size_t(day.window + 1)],
                                day.window, &day.shadowed[c][size_t(m) * size_t(day.window)]);
            day.undecodedFrames[size_t(c)] += part->undecoded[c];
        }
    }
    markNotRunning(&day.intervals);
    day.syncListPath = syncListPath;
    if (!syncListPath.isEmpty()) {
        syncListReport list = readSyncList(syncListPath);
        day.syncList.name = list.name;
        day.syncList.readable = list.readable;
        day.syncList.otherLines = list.otherLines;
        for (const syncEvent& e : list.events)
            if (e.localSecond >= dayStart && e.localSecond < dayStart + DAY)
                day.syncList.events.push_back(e);
    }
    return day;
}

int64_t newestDay(const QString& directory) {
    std::vector<namedFile> files = datafilesOf(directory);
    int64_t newest = -1;
    for (const namedFile& f : files)
        newest = std::max(newest, f.second);
    return newest < 0 ? -1 : localDayStart(newest);
}

int64_t dayOfDate(const QString& date) {
    QDate d = QDate::fromString(date, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return -1;
    return (d.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * DAY;
}

QString findSyncList(const QString& directory, int64_t dayStart) {
    const QString name = syncListName(dayStart);
    QDir dir(directory);
    for (const QString& candidate :
         {dir.filePath(name), dir.filePath(QStringLiteral("../sync/") + name)})
        if (QFileInfo(candidate).isFile())
            return QDir::cleanPath(candidate);
    return QString();
}
