#include "config/cameraParams.h"
#include "format/datafileReader.h"
#include "support/e2eStation.h"
#include "support/stationFolder.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The parameter file the station pushes to `camera` for `mode` with no parameter files of
// its own (defaults, role, mode and video levels).
QByteArray expectedPush(int camera, int mode, int nextSyncId) {
    cameraParams p;
    resetCameraParams(&p);
    p.cameraId = camera;
    p.operationMode = mode;
    if (nextSyncId >= 0)
        p.nextSyncId = uint16_t(nextSyncId);
    p.maxVideoLevel = p.normVideoLevel;
    p.minVideoLevel = minimumVideoLevel(&p);
    FILE* f = std::tmpfile();
    writeCameraParams(f, &p);
    std::rewind(f);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.append(buffer, int(n));
    std::fclose(f);
    return bytes;
}

// Index of `text` among `lines` at or after `from`, -1 when it is not there.
int indexFrom(const QStringList& lines, const QString& text, int from = 0) {
    return lines.indexOf(text, from);
}

} // namespace

// A camera computer repeats a copy after a network error: the transfer file it delivered ten
// seconds before, whose frames are in a datafile already, comes again under a later name. It
// is refused whole with the one message for a file that could not be processed, and removed;
// no frame reaches a datafile twice, under any name.
TEST(e2e, aTransferFileDeliveredAgainIsRefusedAndNoFrameIsWrittenTwice) {
    e2eStation station;
    station.startCameras({"--a-redeliver-at", "20"});
    station.startStation();
    QString again;
    ASSERT_TRUE(station.waitFor(
        [&] {
            const QString log = station.cameraLog();
            const int at = log.indexOf("delivered again as ");
            if (at < 0)
                return false;
            again = log.mid(at + 19).section('\n', 0, 0).trimmed();
            return true;
        },
        40))
        << station.cameraLog().toStdString();
    const qsizetype before = station.datafiles().size();
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= before + 3; }, 20));
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();

    const QStringList m = station.messages();
    EXPECT_EQ(m.filter(QRegularExpression("^error")).size(), 1) << m.join("\n").toStdString();
    EXPECT_EQ(m.count("error : unable to process input data transfer file " + again), 1)
        << again.toStdString() << "\n"
        << m.join("\n").toStdString();
    EXPECT_FALSE(QFile::exists(station.path("cam_a/input/" + again)));
    EXPECT_FALSE(QFile::exists(station.path("temp/" + again)));
    EXPECT_TRUE(station.everyFrameOnceWithoutGaps());
}

TEST(e2e, normalRunWritesEveryFrameOfCompletedIntervalsExactlyOnce) {
    e2eStation station;
    station.startCameras({"--log-interval", "4"});
    station.startStation();
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 6; }, 45))
        << station.messages().join("\n").toStdString();
    EXPECT_EQ(station.stopStation(), 0);
    station.stopCameras();

    // The handshake: a normalisation and a measurement push to each camera, byte for byte.
    EXPECT_EQ(tempStationRead(station.path("par/A.001.acquire.par")), expectedPush(1, 1, -1));
    EXPECT_EQ(tempStationRead(station.path("par/B.001.acquire.par")), expectedPush(2, 1, -1));
    EXPECT_EQ(tempStationRead(station.path("par/A.002.acquire.par")), expectedPush(1, 2, 0));
    EXPECT_EQ(tempStationRead(station.path("par/B.002.acquire.par")), expectedPush(2, 2, 0));

    // Every datafile reads with a good checksum; its frames are the simulator's, in order.
    EXPECT_TRUE(station.everyFrameOfCompletedIntervals());

    // The sync list line, the daily camera logs and the video snapshot.
    QStringList syncFiles = QDir(station.path("sync")).entryList(QDir::Files);
    ASSERT_EQ(syncFiles.size(), 1);
    QByteArray syncLine = tempStationRead(station.path("sync/" + syncFiles[0]));
    EXPECT_TRUE(syncLine.startsWith("         0  0")) << syncLine.toStdString();
    EXPECT_TRUE(syncLine.endsWith(".000 \n"));
    QStringList logs = QDir(station.path("log")).entryList(QDir::Files);
    EXPECT_EQ(logs.size(), 2) << logs.join(" ").toStdString();
    for (const QString& log : logs)
        EXPECT_TRUE(tempStationRead(station.path("log/" + log)).contains("# input from file : "));
    QByteArray video = tempStationRead(station.path("3sec/video.dat"));
    EXPECT_TRUE(video.startsWith("raw_video_A         Time= "));
    EXPECT_EQ(video.count("DATA:\n"), 4);
    // Nothing of the cameras' stays behind in the working directory but the newest files.
    EXPECT_TRUE(station.hasMessage("entering measurement mode"));
}

TEST(e2e, aSilentCameraIsRebootedAndTheStationMeasuresAgain) {
    e2eStation station;
    station.startCameras({"--b-silent-after", "6"});
    station.startStation();
    ASSERT_TRUE(station.waitFor([&] { return station.hasMessage("RESYNC"); }, 40));
    // After the reboot both cameras come back and datafiles of a second sync appear.
    ASSERT_TRUE(station.waitFor(
        [&] {
            return QFile::exists(station.path("par/A.004.acquire.par")) &&
                   QFile::exists(station.path("par/B.004.acquire.par"));
        },
        40))
        << station.messages().join("\n").toStdString();
    qsizetype before = station.datafiles().size();
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= before + 2; }, 20));
    station.stopStation();
    station.stopCameras();
    QStringList m = station.messages();
    int at = indexFrom(m, "RESYNC");
    ASSERT_GE(at, 0);
    EXPECT_EQ(m.mid(at, 3),
              QStringList({"RESYNC", "A: send " + station.resyncCommand(), "B: send reboot"}));
    QString cameras = station.cameraLog();
    EXPECT_TRUE(cameras.contains("reboot: offline")) << cameras.toStdString();
    EXPECT_TRUE(cameras.contains("cancel: idle"));
    EXPECT_TRUE(cameras.contains("camera A: " + station.resyncCommand() + ": "));
}

TEST(e2e, aRebootRequestResyncsBothCameras) {
    e2eStation station;
    station.startCameras();
    station.startStation();
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= 1; }, 30));
    ASSERT_TRUE(writeWhole(station.path("3sec/REBOOT"), ""));
    ASSERT_TRUE(station.waitFor([&] { return station.hasMessage("RESYNC"); }, 10));
    station.stopStation();
    station.stopCameras();
    EXPECT_FALSE(QFile::exists(station.path("3sec/REBOOT")));
    QStringList m = station.messages();
    int at = indexFrom(m, "info : receiving reboot request due to asynchronity from pw3.exe");
    ASSERT_GE(at, 0);
    EXPECT_EQ(m.mid(at + 1, 3), QStringList({"RESYNC", "A: send " + station.resyncCommand(),
                                             "B: send " + station.resyncCommand()}));
}

TEST(e2e, aGarbageTransferFileIsReportedDeletedAndTheRunGoesOn) {
    e2eStation station;
    station.startCameras({"--a-garbage-at", "5"});
    station.startStation();
    const QString prefix = "error : unable to process input data transfer file ";
    QString garbage;
    auto reported = [&] {
        for (const QString& m : station.messages())
            if (m.startsWith(prefix))
                garbage = m.mid(prefix.size());
        return !garbage.isEmpty();
    };
    ASSERT_TRUE(station.waitFor(reported, 30)) << station.messages().join("\n").toStdString();
    qsizetype before = station.datafiles().size();
    ASSERT_TRUE(station.waitFor([&] { return station.datafiles().size() >= before + 2; }, 20));
    station.stopStation();
    station.stopCameras();
    EXPECT_FALSE(station.hasMessage("RESYNC"));
    EXPECT_TRUE(station.cameraLog().contains(garbage)) << "the simulator wrote it as garbage";
    EXPECT_FALSE(QFile::exists(station.path("temp/" + garbage)));
    EXPECT_FALSE(QFile::exists(station.path("cam_a/input/" + garbage)));
}

TEST(e2e, bothVideoModesPushLiveVideoAndEnd) {
    for (const char* mode : {"--livevideo", "--normvideo"}) {
        e2eStation station;
        station.startCameras();
        station.startStation({mode});
        EXPECT_EQ(station.waitStationExit(30), 0) << mode;
        station.stopCameras();
        for (const char* camera : {"A", "B"}) {
            cameraParams p;
            resetCameraParams(&p);
            QString copy = station.path(QString("par/%1.001.acquire.par").arg(camera));
            ASSERT_EQ(presetCameraSettingsFromConfFile(&p, QFile::encodeName(copy).constData()), 0)
                << mode << camera;
            EXPECT_EQ(p.operationMode, OPMODE_LIVEVIDEO);
        }
        QStringList m = station.messages();
        EXPECT_TRUE(m.contains("entering livevideo mode"));
        EXPECT_TRUE(m.contains("restart measurement with acquire_kiv.exe"));
    }
}

// A second copy in the same station folder, in any mode that works there, says who runs and
// ends before it touches a file, the lock included; the running station goes on undisturbed.
TEST(e2e, aSecondCopyInTheStationFolderEndsAtOnce) {
    e2eStation station;
    station.startStation();
    const QString lock = station.path("acquire_kiv.lock");
    const QByteArray pid = QByteArray::number(station.stationPid());
    ASSERT_TRUE(station.waitFor([&] { return tempStationRead(lock).trimmed() == pid; }, 10));
    for (const QStringList& args : {QStringList(), QStringList{"--livevideo"}}) {
        QProcess second;
        second.setWorkingDirectory(station.path());
        second.start(QStringLiteral(KIV_BINARY_DIR "/acquire_kiv"), args);
        ASSERT_TRUE(second.waitForFinished(10000)) << args.join(' ').toStdString();
        EXPECT_EQ(second.exitCode(), 1);
        EXPECT_EQ(second.readAllStandardError(),
                  "acquire_kiv: already running (PID " + pid + ")\n");
    }
    EXPECT_EQ(tempStationRead(lock).trimmed(), pid) << "the lock still names the first copy";
    EXPECT_EQ(station.stopStation(), 0) << "the first copy ran on";
}

// `acquire_kiv | head -1`: the reader goes away, and a write to the pipe must fail where it
// happens instead of killing the controller. SIGHUP (the SSH session closed) then ends the
// run as SIGTERM does, with status 0.
TEST(e2e, aClosedOutputPipeIsNoDeathAndHangUpEndsTheRunCleanly) {
    tempStation dir;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        if (chdir(QFile::encodeName(dir.path()).constData()) == 0)
            execl(KIV_BINARY_DIR "/acquire_kiv", "acquire_kiv", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(out[0]); // no reader: every line the station writes meets a closed pipe
    int status = 0;
    for (int i = 0; i < 20 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        QThread::msleep(100);
    const bool alive = waitpid(pid, &status, WNOHANG) == 0;
    kill(pid, alive ? SIGHUP : SIGKILL);
    int waited = 0;
    while (waitpid(pid, &status, WNOHANG) == 0 && waited++ < 100)
        QThread::msleep(100);
    if (waited > 100) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(alive) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Asking the program what it is starts nothing: no screen, no lock, no file.
TEST(e2e, helpAndVersionAnswerAndTouchNothing) {
    tempStation dir;
    for (const char* option : {"--help", "--version"}) {
        QProcess program;
        program.setWorkingDirectory(dir.path());
        program.start(QStringLiteral(KIV_BINARY_DIR "/acquire_kiv"), {option, "--livevideo"});
        ASSERT_TRUE(program.waitForFinished(10000)) << option;
        EXPECT_EQ(program.exitCode(), 0) << option;
        const QByteArray out = program.readAllStandardOutput();
        EXPECT_TRUE(out.startsWith(option == QByteArray("--help") ? "usage: acquire_kiv"
                                                                  : "acquire_kiv 1."))
            << out.toStdString();
        EXPECT_TRUE(dir.list().isEmpty()) << option;
    }
}
