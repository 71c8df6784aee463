#include "support/e2eStation.h"

#include "format/datafileReader.h"
#include "frameLog.h"
#include "support/stationFolder.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>
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
    QStringList args = {"--a-control",      path("cam_a/control"),
                        "--a-input",        path("cam_a/input"),
                        "--b-control",      path("cam_b/control"),
                        "--b-input",        path("cam_b/input"),
                        "--frame-log",      path("frames.log"),
                        "--par-copy",       path("par"),
                        "--norm-delay",     "300",
                        "--reboot-offline", "500",
                        "--verbose"};
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
