#include "support/simulatedStation.h"

#include "format/datafileReader.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <iostream>

#include <map>
#include <ostream>
#include <set>
#include <utility>

namespace {

// Camera, local second of the synchronisation and line position: after a step of the clock
// back, two synchronisations hold the same line positions.
typedef std::tuple<char, int64_t, double> framePlace;

int64_t localSyncSecond(const syncPoint& sync) {
    return sync.syncSecond() + localOffset(sync.syncSecond());
}

void placeQueue(const frameDeque& records, char camera, std::set<framePlace>* held) {
    for (const frameRecord& r : records) {
        if (r.isEmpty || !r.sync)
            continue;
        char c = r.cameraId == 1 ? 'A' : r.cameraId == 2 ? 'B' : camera;
        held->insert({c, localSyncSecond(*r.sync), r.linePosition});
    }
}

struct sentFrame {
    char camera;
    uint16_t syncId;
    uint64_t lineCounter;
    syncPointPtr sync; // null when the station does not know the syncId
    QString file;      // the transfer file that carried it
};

// The frames the simulators logged, with the syncPoints the station has for them.
std::vector<sentFrame> sentFrames(const syncList& syncs, const QString& logPath) {
    std::vector<sentFrame> frames;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return frames;
    // The frame lines of a file come before its file line.
    size_t unnamed[2] = {0, 0};
    for (const QByteArray& line : log.readAll().split('\n')) {
        QList<QByteArray> f = line.split(' ');
        if (f.size() == 5 && f[0] == "file" && f[2] == "transfer") {
            size_t& first = unnamed[f[1] == "A" ? 0 : 1];
            for (size_t i = first; i < frames.size(); ++i)
                if (frames[i].camera == f[1].at(0) && frames[i].file.isEmpty())
                    frames[i].file = QString::fromLatin1(f[3]);
            first = frames.size();
            continue;
        }
        if (f.size() != 7 || f[0] != "frame")
            continue;
        uint16_t syncId = uint16_t(f[2].toUInt());
        frames.push_back({f[1].at(0), syncId, f[3].toULongLong(), syncs.find(syncId), QString()});
    }
    return frames;
}

} // namespace

simulatedStation::simulatedStation(double start,
                                   const std::function<void(simulatorSettings&)>& tune,
                                   const char* zone,
                                   const std::function<void(stationFixture&)>& beforeStart)
    : fixture(start, zone), frames(fixture.dir.file("frames.log")) {
    for (int camera : {CAM_A, CAM_B}) {
        simulatorSettings s;
        s.camera = camera;
        const scriptedCamera& dirs = camera == CAM_A ? *fixture.a : *fixture.b;
        s.controlDir = dirs.controlDir;
        s.inputDir = dirs.inputDir;
        s.normDelayMs = 300;
        s.rebootOfflineMs = 500;
        s.logInterval = 0.0;
        if (tune)
            tune(s);
        (camera == CAM_A ? cameraA : cameraB) = std::make_unique<cameraSimulator>(s, &frames);
    }
    if (beforeStart)
        beforeStart(fixture);
    loop = std::make_unique<measurementLoop>(false, "./acquire_kiv.set");
}

simulatedStation::~simulatedStation() = default;

void simulatedStation::step() {
    double before = fixture.clock.now();
    cameraA->step();
    cameraB->step();
    loop->cycle();
    if (fixture.clock.now() == before)
        fixture.clock.advance(0.05);
}

void simulatedStation::run(double seconds) {
    double end = fixture.clock.now() + seconds;
    while (fixture.clock.now() < end)
        step();
}

bool simulatedStation::runUntil(const std::function<bool()>& done, double seconds) {
    double end = fixture.clock.now() + seconds;
    while (!done()) {
        if (fixture.clock.now() >= end)
            return false;
        step();
    }
    return true;
}

bool simulatedStation::measuring() const {
    return loop->currentPhase() == measurementLoop::PHASE_MEASUREMENT;
}

frameAccount simulatedStation::account() const {
    frameAccount a;
    // What the cameras sent, placed the way the station places it.
    struct placedFrame {
        double position;
        int64_t localSyncSecond;
        int64_t intervalStart; // local seconds, as in the datafile names
    };
    std::map<framePlace, std::string> sent;
    std::map<framePlace, placedFrame> sentPlaces;
    for (const sentFrame& f : sentFrames(*loop->syncs(), fixture.dir.file("frames.log"))) {
        ++a.sent;
        // Still in its transfer file in the input or the working directory.
        const scriptedCamera& dirs = f.camera == 'A' ? *fixture.a : *fixture.b;
        if (QFile::exists(dirs.input(f.file)) ||
            QFile::exists(fixture.dir.file("temp/" + f.file))) {
            ++a.waiting;
            continue;
        }
        if (!f.sync || !f.sync->isValid()) {
            ++a.unplaceable;
            continue;
        }
        double position = linePosition(f.sync.data(), double(f.lineCounter));
        int32_t interval = intervalStart(f.sync.data(), double(f.lineCounter), INTERVAL_LENGTH);
        const framePlace place{f.camera, localSyncSecond(*f.sync), position};
        sentPlaces[place] = {position, std::get<1>(place), interval + localOffset(interval)};
        sent[place] = std::string(1, f.camera) + " " + std::to_string(f.syncId) + " " +
                      std::to_string(f.lineCounter);
    }
    std::set<framePlace> written;
    std::vector<placedFrame> writtenPlaces;
    // The datafiles under their usual names, and those of a local second that came again.
    QStringList paths;
    for (const char* folder : {"3sec", "3sec/repeated"}) {
        QDir dir(fixture.dir.file(folder));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
            paths << dir.filePath(name);
    }
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 1);
        if (datafileLocalSecond(name) < 0)
            continue;
        ++a.datafiles;
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QByteArray bytes = file.readAll();
        datafileContent content;
        datafileProblem problem;
        if (!readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                          &content, &problem)) {
            ++a.damaged;
            continue;
        }
        int64_t interval = datafileLocalSecond(name);
        for (const datafileEntry& e : content.entries) {
            writtenPlaces.push_back({e.linePosition, content.sync.localSyncSecond, interval});
            framePlace place{e.cameraId == 1 ? 'A' : 'B', content.sync.localSyncSecond,
                             e.linePosition};
            if (!written.insert(place).second)
                ++a.duplicated;
            else if (!sent.count(place))
                ++a.foreign;
        }
    }
    std::set<framePlace> held;
    placeQueue(loop->cameraA().queue().frames(), 'A', &held);
    placeQueue(loop->cameraB().queue().frames(), 'B', &held);
    placeQueue(loop->writer().paired(), '?', &held);
    a.written = int(written.size());
    a.held = int(held.size());
    for (const auto& frame : sent) {
        if (written.count(frame.first) || held.count(frame.first))
            continue;
        const placedFrame& f = sentPlaces[frame.first];
        bool dropped = false;
        for (const placedFrame& g : writtenPlaces)
            dropped =
                dropped || (g.localSyncSecond != f.localSyncSecond && g.position <= f.position &&
                            g.intervalStart + INTERVAL_LENGTH > f.intervalStart);
        if (dropped) {
            ++a.droppedAtResync;
            continue;
        }
        ++a.lost;
        if (a.firstLost.size() < 5)
            a.firstLost.push_back(frame.second);
    }
    return a;
}

int simulatedStation::sentFramesIn(const QSet<QString>& names) const {
    int n = 0;
    for (const sentFrame& f : sentFrames(*loop->syncs(), fixture.dir.file("frames.log")))
        if (f.sync && f.sync->isValid() &&
            names.contains(datafileWriter::datafileName(
                intervalStart(f.sync.data(), double(f.lineCounter), INTERVAL_LENGTH))))
            ++n;
    return n;
}

int simulatedStation::count(const QString& text) const {
    return int(log.messages().count(text));
}

int simulatedStation::countStarting(const QString& prefix) const {
    int n = 0;
    for (const QString& m : log.messages())
        n += m.startsWith(prefix) ? 1 : 0;
    return n;
}

QString simulatedStation::tail(int lines) const {
    return log.messages().mid(log.messages().size() - lines).join('\n');
}

std::ostream& operator<<(std::ostream& out, const frameAccount& a) {
    out << a.sent << " sent (" << a.unplaceable << " of unknown syncIds, " << a.waiting
        << " waiting in files), " << a.written << " written, " << a.held << " held, "
        << a.droppedAtResync << " dropped at a resync, " << a.lost << " lost, " << a.duplicated
        << " duplicated, " << a.foreign << " foreign; " << a.datafiles << " datafiles, "
        << a.damaged << " damaged";
    for (const std::string& f : a.firstLost)
        out << "; lost " << f;
    return out;
}

void measureFor(simulatedStation& s, double seconds) {
    ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 30)) << s.tail().toStdString();
    s.run(seconds);
}

void expectNoFrameLost(const simulatedStation& s) {
    frameAccount a = s.account();
    std::cout << "fault " << ::testing::UnitTest::GetInstance()->current_test_info()->name() << ": "
              << a << "\n";
    EXPECT_EQ(a.lost, 0) << a;
    EXPECT_EQ(a.duplicated, 0) << a;
    EXPECT_EQ(a.foreign, 0) << a;
    EXPECT_EQ(a.damaged, 0) << a;
    EXPECT_GT(a.written, 0) << a;
}

QString nameAtNow(simulatedStation& s, const char* suffix) {
    return QString::number(qulonglong(s.fixture.clock.now() * 1e6)) + "5" + suffix;
}
