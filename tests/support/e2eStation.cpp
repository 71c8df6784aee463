#include "support/e2eStation.h"

#include "format/datafileReader.h"
#include "frameLog.h"
#include "support/stationFolder.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/prctl.h>

namespace {

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

e2eStation::e2eStation() {
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
    env.insert("TZ", "UTC");
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

bool e2eStation::datafileFrames(std::vector<e2eFrame>* frames, QString* problem) const {
    for (const QString& name : datafiles()) {
        QByteArray bytes = m_dir.read("3sec/" + name);
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
    const double LINE_FREQUENCY = 55172.0;
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
                   << f.camera << " frame " << std::hex << f.hash << " not sent, or written twice";
        sent.erase(it);
    }
    if (count)
        *count = written.size();
    return ::testing::AssertionSuccess();
}
