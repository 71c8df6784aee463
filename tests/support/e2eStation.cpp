#include "support/e2eStation.h"

#include "format/datafileReader.h"
#include "frameLog.h"
#include "support/stationFolder.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/prctl.h>
#include <tuple>

namespace {

// The simulated cameras' line frequency.
const double LINE_FREQUENCY = 55172.0;

QString binary(const char* name) {
    return QStringLiteral(KIV_BINARY_DIR "/") + QLatin1String(name);
}

// A process that ends with the test program, even when that is killed (a CTest time-out) or
// crashes: nothing a test starts can outlive it.
std::unique_ptr<QProcess> childProcess() {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

// Each synchronisation of `camera` as it measured it: the indices into `sent` of a run of its
// frames of one syncId, in the order sent.
std::vector<std::vector<size_t>> syncRuns(const std::vector<e2eFrame>& sent, char camera) {
    std::vector<std::vector<size_t>> runs;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i].camera != camera)
            continue;
        if (runs.empty() || sent[runs.back().back()].syncId != sent[i].syncId)
            runs.emplace_back();
        runs.back().push_back(i);
    }
    return runs;
}

int finish(QProcess* process, double seconds) {
    if (!process->waitForFinished(int(seconds * 1000))) {
        process->kill();
        process->waitForFinished(5000);
        return -1;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
}

} // namespace

QByteArray tempStationRead(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

// The station resyncs both cameras at every full hour of its local clock (and reboots them at
// local midnight): the sync ends there, and the pairing rule drops frames around it. A test on
// the real clock checks a run without either, so its station folder is made clear of the next
// full hour, before the test starts its own clocks: when that hour lies within the reach of
// the longest such test, the harness waits until it has passed. The resync itself is tested on
// a faked clock. The e2e and share CTest timeouts leave room for the wait.
constexpr qint64 RUN_REACH_SECONDS = 150;

qint64 localSecondNow(const QString& zone) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.toSecsSinceEpoch() + QTimeZone(zone.toUtf8()).offsetFromUtc(now);
}

void waitClearOfTheFullHour(const QString& zone) {
    const qint64 toFullHour = 3600 - localSecondNow(zone) % 3600;
    if (toFullHour >= RUN_REACH_SECONDS)
        return;
    std::fprintf(stderr,
                 "waiting %lld s: the station's full-hour resync would fall into this run\n",
                 static_cast<long long>(toFullHour + 2));
    QThread::sleep(static_cast<unsigned long>(toFullHour + 2));
}

} // namespace

e2eStation::e2eStation(e2eClock clock) {
    if (clock == e2eClock::real) {
        waitClearOfTheFullHour(m_zone);
        // The next full hour, some minutes away at least, ends the local day.
        m_lastHourOfDay = localSecondNow(m_zone) % 86400 >= 23 * 3600;
    }
    makeStationFolder(m_dir.path());
    m_dir.mkdir("par");
}

e2eStation::~e2eStation() {
    if (m_station && m_station->state() != QProcess::NotRunning)
        stopStation();
    stopCameras();
}

void e2eStation::startCameras(const QStringList& extra) {
    m_cameras = childProcess();
    m_cameras->setWorkingDirectory(path());
    m_cameras->setStandardOutputFile(path("camera_sim.log"));
    m_cameras->setStandardErrorFile(path("camera_sim.log"), QIODevice::Append);
    const QString a = m_cameraFolders.isEmpty() ? path("cam_a") : m_cameraFolders[0];
    const QString b = m_cameraFolders.isEmpty() ? path("cam_b") : m_cameraFolders[1];
    QStringList args = {
        "--a-control",  a + "/control", "--a-input",    a + "/input",  "--b-control",
        b + "/control", "--b-input",    b + "/input",   "--frame-log", path("frames.log"),
        "--par-copy",   path("par"),    "--norm-delay", "300",         "--reboot-offline",
        "500",          "--verbose"};
    m_cameras->start(binary("camera_sim"), args + extra);
    EXPECT_TRUE(m_cameras->waitForStarted());
}

void e2eStation::startStation(const QStringList& args, const QString& fakeTime) {
    m_station = childProcess();
    m_station->setWorkingDirectory(path());
    m_station->setStandardOutputFile(path("station.log"), QIODevice::Append);
    m_station->setStandardErrorFile(path("station.err"), QIODevice::Append);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TZ", m_zone);
    env.remove("TERM");
    // The library preloaded here rather than through the faketime program: that one would
    // stand between this process and the station, and a signal to it would end it alone.
    if (fakeTime.startsWith("file:")) {
        // An offset read from the file at every call: the test steps the wall clock while
        // the station runs; its monotonic clock stays real.
        env.insert("LD_PRELOAD", KIV_FAKETIME_LIBRARY);
        env.insert("FAKETIME_TIMESTAMP_FILE", fakeTime.mid(5));
        env.insert("FAKETIME_NO_CACHE", "1");
        env.insert("DONT_FAKE_MONOTONIC", "1");
    } else if (!fakeTime.isEmpty()) {
        env.insert("LD_PRELOAD", KIV_FAKETIME_LIBRARY);
        env.insert("FAKETIME", fakeTime);
    }
    m_station->setProcessEnvironment(env);
    m_station->start(binary("acquire_kiv"), args);
    EXPECT_TRUE(m_station->waitForStarted());
}

bool e2eStation::waitFor(const std::function<bool()>& done, double seconds) {
    for (int i = 0; i < int(seconds * 10); ++i) {
        if (done())
            return true;
        QThread::msleep(100);
    }
    return done();
}

qint64 e2eStation::stationPid() const {
    return m_station ? m_station->processId() : 0;
}

int e2eStation::stopStation() {
    if (!m_station)
        return -1;
    if (m_station->state() != QProcess::NotRunning)
        m_station->terminate();
    return finish(m_station.get(), 20);
}

void e2eStation::killStation() {
    if (!m_station)
        return;
    m_station->kill();
    m_station->waitForFinished(10000);
}

int e2eStation::waitStationExit(double seconds) {
    return m_station ? finish(m_station.get(), seconds) : -1;
}

void e2eStation::stopCameras() {
    if (!m_cameras || m_cameras->state() == QProcess::NotRunning)
        return;
    m_cameras->terminate();
    finish(m_cameras.get(), 10);
}

QStringList e2eStation::messages() const {
    QStringList lines;
    // "YYYY-mm-dd HH:MM:SS " in front of every message.
    for (const QString& line : QString::fromLocal8Bit(m_dir.read("station.log")).split('\n'))
        if (line.size() >= 20)
            lines << line.mid(20);
    return lines;
}

QString e2eStation::cameraLog() const {
    return QString::fromLocal8Bit(m_dir.read("camera_sim.log"));
}

QStringList e2eStation::datafiles() const {
    QStringList names;
    for (const QString& name : QDir(path("3sec")).entryList(QDir::Files, QDir::Name))
        if (datafileLocalSecond(name) >= 0)
            names << name;
    return names;
}

std::vector<e2eFrame> e2eStation::simulatorFrames() const {
    std::vector<e2eFrame> frames;
    for (const QByteArray& line : m_dir.read("frames.log").split('\n')) {
        QList<QByteArray> f = line.split(' ');
        if (f.size() != 7 || f[0] != "frame")
            continue;
        e2eFrame frame{};
        frame.camera = f[1].at(0);
        frame.syncId = uint16_t(f[2].toUInt());
        frame.lineCounter = f[3].toULongLong();
        frame.numLines = f[4].toUInt();
        frame.hash = f[6].toULongLong(nullptr, 16);
        frames.push_back(frame);
    }
    return frames;
}

QStringList e2eStation::datafilePaths() const {
    QStringList paths;
    for (const QString& name : datafiles())
        paths << "3sec/" + name;
    for (const QString& name : QDir(path("3sec/repeated")).entryList(QDir::Files, QDir::Name))
        if (!name.endsWith(".part"))
            paths << "3sec/repeated/" + name;
    return paths;
}

bool e2eStation::hasWrittenFramesOf(char camera) const {
    std::vector<e2eFrame> frames;
    QString problem;
    datafileFrames(&frames, &problem);
    return std::any_of(frames.begin(), frames.end(),
                       [camera](const e2eFrame& f) { return f.camera == camera; });
}

bool e2eStation::datafileFrames(std::vector<e2eFrame>* frames, QString* problem) const {
    for (const QString& name : datafilePaths()) {
        QByteArray bytes = m_dir.read(name);
        const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.constData());
        datafileContent content;
        datafileProblem where;
        if (!readDatafile(data, size_t(bytes.size()), &content, &where)) {
            *problem = name + ": " + QString::fromStdString(describeProblem(where));
            return false;
        }
        for (const datafileEntry& entry : content.entries) {
            e2eFrame frame{};
            frame.camera = entry.cameraId == 1 ? 'A' : 'B';
            frame.numLines = entry.numLines;
            frame.linePosition = entry.linePosition;
            int32_t payload = entry.dataLength - FRAME_DATA_HEAD_SIZE;
            frame.hash = fnv1a64(data + entry.dataOffset + FRAME_DATA_HEAD_SIZE, size_t(payload));
            frames->push_back(frame);
        }
    }
    return true;
}

::testing::AssertionResult e2eStation::everyFrameOfCompletedIntervals() const {
    std::vector<e2eFrame> written;
    QString problem;
    if (!datafileFrames(&written, &problem))
        return ::testing::AssertionFailure() << problem.toStdString();
    const std::vector<e2eFrame> sent = simulatorFrames();
    const QStringList names = datafiles();
    if (names.isEmpty())
        return ::testing::AssertionFailure() << "no datafile";
    const int64_t lastInterval = datafileLocalSecond(names.last()); // TZ=UTC: local is UTC
    for (char camera : {'A', 'B'}) {
        std::vector<e2eFrame> out, in;
        for (const e2eFrame& f : written)
            if (f.camera == camera)
                out.push_back(f);
        for (const e2eFrame& f : sent)
            if (f.camera == camera)
                in.push_back(f);
        if (out.empty() || out.size() > in.size())
            return ::testing::AssertionFailure()
                   << camera << ": " << out.size() << " frames written, " << in.size() << " sent";
        // The line position of a frame is its line counter plus the position of the sync.
        const double syncPosition = out[0].linePosition - double(in[0].lineCounter);
        for (size_t i = 0; i < out.size(); ++i) {
            if (out[i].hash != in[i].hash || out[i].numLines != in[i].numLines ||
                std::fabs(out[i].linePosition - double(in[i].lineCounter) - syncPosition) > 1.0)
                return ::testing::AssertionFailure() << camera << " frame " << i << " differs";
        }
        // The first frame not written lies beyond the last datafile's interval.
        if (out.size() < in.size()) {
            const double day = std::floor(double(lastInterval) / 86400.0) * 86400.0;
            const double time =
                day + (syncPosition + double(in[out.size()].lineCounter)) / LINE_FREQUENCY;
            if (time < double(lastInterval + 3) - 1e-6)
                return ::testing::AssertionFailure()
                       << camera << " frame " << out.size() << " of a completed interval missing";
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult e2eStation::onlySentFramesOnce(size_t* count) const {
    std::vector<e2eFrame> written;
    QString problem;
    if (!datafileFrames(&written, &problem))
        return ::testing::AssertionFailure() << problem.toStdString();
    std::multiset<std::pair<char, uint64_t>> sent;
    for (const e2eFrame& f : simulatorFrames())
        sent.insert({f.camera, f.hash});
    for (const e2eFrame& f : written) {
        auto it = sent.find({f.camera, f.hash});
        if (it == sent.end())
            return ::testing::AssertionFailure()
                   << f.camera << " frame " << QString::number(f.hash, 16).toStdString()
                   << " not sent, or written twice";
        sent.erase(it);
    }
    if (count)
        *count = written.size();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult e2eStation::matchSentFrames(const std::vector<e2eFrame>& sent,
                                                       std::vector<bool>* written) const {
    std::vector<e2eFrame> found;
    QString problem;
    if (!datafileFrames(&found, &problem))
        return ::testing::AssertionFailure() << problem.toStdString();
    // Drops of the same shape give frames of the same bytes: a datafile frame is the sent one
    // of its payload and length whose place fits. A frame's line position is its line counter
    // plus the position of its synchronisation, which most frames of the sync agree on.
    std::multimap<std::tuple<char, uint64_t, uint32_t>, size_t> byPayload;
    for (size_t i = 0; i < found.size(); ++i)
        byPayload.insert({{found[i].camera, found[i].hash, found[i].numLines}, i});
    auto candidates = [&](const e2eFrame& f) {
        return byPayload.equal_range({f.camera, f.hash, f.numLines});
    };
    std::vector<bool> used(found.size(), false);
    written->assign(sent.size(), false);
    for (char camera : {'A', 'B'}) {
        for (const std::vector<size_t>& run : syncRuns(sent, camera)) {
            std::map<int64_t, int> votes;
            for (size_t i : run)
                for (auto [it, end] = candidates(sent[i]); it != end; ++it)
                    for (int64_t near = -1; near <= 1; ++near)
                        ++votes[std::llround(found[it->second].linePosition) -
                                int64_t(sent[i].lineCounter) + near];
            if (votes.empty())
                continue;
            const int64_t syncPosition =
                std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
                    return a.second < b.second;
                })->first;
            for (size_t i : run)
                for (auto [it, end] = candidates(sent[i]); it != end; ++it) {
                    const double place = double(syncPosition + int64_t(sent[i].lineCounter));
                    if (!used[it->second] &&
                        std::fabs(found[it->second].linePosition - place) <= 1.5) {
                        used[it->second] = true;
                        (*written)[i] = true;
                        break;
                    }
                }
        }
    }
    for (size_t k = 0; k < found.size(); ++k)
        if (!used[k])
            return ::testing::AssertionFailure()
                   << found[k].camera << " frame "
                   << QString::number(found[k].hash, 16).toStdString() << " at line position "
                   << uint64_t(found[k].linePosition) << " not sent, or written twice";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult
e2eStation::everyFrameOnceWithoutGaps(size_t* count, const std::set<uint16_t>& cutByRestart) const {
    const std::vector<e2eFrame> sent = simulatorFrames();
    std::vector<bool> written;
    ::testing::AssertionResult matched = matchSentFrames(sent, &written);
    if (!matched)
        return matched;
    if (count)
        *count = size_t(std::count(written.begin(), written.end(), true));
    // The frames a resync costs lie in the interval of the last frame paired before them: at
    // most one interval, and a second for the rounding, after the sync.
    const uint64_t resyncLines = uint64_t(4.0 * LINE_FREQUENCY);
    for (char camera : {'A', 'B'}) {
        const std::vector<std::vector<size_t>> runs = syncRuns(sent, camera);
        for (size_t r = 0; r < runs.size(); ++r) {
            const std::vector<size_t>& run = runs[r];
            size_t first = 0;
            while (first < run.size() && !written[run[first]]) {
                if (sent[run[first]].lineCounter >= resyncLines)
                    return ::testing::AssertionFailure()
                           << camera << " syncId " << sent[run[first]].syncId << ": frame at line "
                           << sent[run[first]].lineCounter << " missing";
                ++first;
            }
            size_t last = run.size();
            while (last > first && !written[run[last - 1]])
                --last;
            for (size_t k = first; k < last; ++k)
                if (!written[run[k]])
                    return ::testing::AssertionFailure()
                           << camera << " syncId " << sent[run[k]].syncId << ": frame at line "
                           << sent[run[k]].lineCounter << " missing between written ones";
            if (last < run.size() && r + 1 < runs.size() &&
                !cutByRestart.count(sent[run[last]].syncId))
                return ::testing::AssertionFailure()
                       << camera << " syncId " << sent[run[last]].syncId << ": "
                       << run.size() - last << " frames from line " << sent[run[last]].lineCounter
                       << " on missing, though the camera went on with another sync";
        }
    }
    return ::testing::AssertionSuccess();
}
