// The station on real SMB shares (scripts/share-fixture, started by the CTest fixture
// "share"): each camera computer a Samba server of its own on the loopback, the camera
// simulator writing on the servers' side as a camera computer writes on its disk, acquire_kiv
// reaching both through the smbnetfs mount as in the field. The servers are killed, stopped
// and held to; each test puts its server back as it found it, also when it fails.
#include "support/e2eStation.h"
#include "support/stationFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace {

// Exit status of a test that cannot run here; CTest counts it as skipped.
const int SKIP = 77;

QString shareState() {
    return QString::fromLocal8Bit(qgetenv("KIV_SHARE_STATE"));
}

// Why the fixture's servers and mount are not there; empty when they are.
QString whyNoShare() {
    const QString state = shareState();
    if (state.isEmpty())
        return QStringLiteral("KIV_SHARE_STATE is not set (run through ctest -L share)");
    const QByteArray skip = tempStationRead(state + "/skip").trimmed();
    if (!skip.isEmpty())
        return QString::fromLocal8Bit(skip);
    if (!QFileInfo(state + "/mnt/127.0.0.1/cam_a/control").isDir() ||
        !QFileInfo(state + "/mnt/127.0.0.2/cam_b/control").isDir())
        return QStringLiteral("the share fixture is not up (scripts/share-fixture start)");
    return QString();
}

int count(const QStringList& lines, const QString& start) {
    int n = 0;
    for (const QString& line : lines)
        n += line.startsWith(start) ? 1 : 0;
    return n;
}

class shareRun : public ::testing::Test {
protected:
    shareRun() : m_state(shareState()) {
        for (int c = 0; c < 2; ++c) {
            m_server[c] = m_state + (c == 0 ? "/server/cam_a" : "/server/cam_b");
            m_mount[c] = m_state + (c == 0 ? "/mnt/127.0.0.1/cam_a" : "/mnt/127.0.0.2/cam_b");
            // What an earlier test left on the camera computers.
            for (const char* sub : {"/input", "/control"}) {
                QDir dir(m_server[c] + sub);
                for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
                    dir.remove(name);
            }
        }
        m_station.useCameraFolders(m_server[0], m_server[1]);
        // The station's own directories on its disk, the cameras' through the mount.
        QByteArray set;
        const QString local[][2] = {{"temp_dir", "temp"},
                                    {"log_dir", "log"},
                                    {"sync_list_dir", "sync"},
                                    {"norm_vid_dir", "3sec"},
                                    {"3sec_dir", "3sec"}};
        for (const auto& key : local)
            set += key[0].toLatin1() + ' ' + QFile::encodeName(m_station.path(key[1])) + '\n';
        for (int c = 0; c < 2; ++c) {
            const QByteArray prefix = c == 0 ? "cam_a_" : "cam_b_";
            set += prefix + "input_dir " + QFile::encodeName(m_mount[c] + "/input") + '\n';
            set += prefix + "control_dir " + QFile::encodeName(m_mount[c] + "/control") + '\n';
        }
        EXPECT_TRUE(writeWhole(m_station.path("acquire_kiv.set"), set));
    }

    ~shareRun() override {
        m_station.stopStation();
        m_station.stopCameras();
        // A server this test stopped or killed is there again for the next one.
        for (int c = 0; c < 2; ++c)
            if (m_touched[c])
                fixture("start-server", c);
    }

    // scripts/share-fixture COMMAND STATE CAMERA, with its arguments as a list (no shell).
    bool fixture(const char* command, int camera) {
        m_touched[camera] = true;
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(KIV_SOURCE_DIR "/scripts/share-fixture"),
                {QLatin1String(command), m_state, camera == 0 ? "a" : "b"});
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    bool waitForDatafiles(qsizetype atLeast, double seconds) {
        return m_station.waitFor([&] { return m_station.datafiles().size() >= atLeast; }, seconds);
    }
    bool waitForMessage(const QString& start, double seconds) {
        return m_station.waitFor([&] { return count(m_station.messages(), start) > 0; }, seconds);
    }
    QString messages() const { return m_station.messages().join("\n"); }
    void startWithServerAway(const char* away, const char* back);
    // The "updated" second of the station's status file; 0 when there is none.
    double statusUpdated() const {
        const QJsonObject root =
            QJsonDocument::fromJson(tempStationRead(m_station.path("acquire_kiv.status.json")))
                .object();
        return root.value("updated").toObject().value("seconds").toDouble();
    }

    QString m_state;
    QString m_server[2];
    QString m_mount[2];
    bool m_touched[2] = {false, false};
    e2eStation m_station;
};

} // namespace

TEST_F(shareRun, everyFrameOfCompletedIntervalsReachesTheDatafilesThroughTheShares) {
    m_station.startCameras({"--log-interval", "4"});
    m_station.startStation();
    ASSERT_TRUE(waitForDatafiles(6, 60)) << messages().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0);
    m_station.stopCameras();
    EXPECT_TRUE(m_station.everyFrameOfCompletedIntervals());
    // The control files went through the share's fallback of the no-replace rename, and the
    // camera logs and norm-video files through the move across file systems.
    EXPECT_EQ(count(m_station.messages(), "error"), 0) << messages().toStdString();
    EXPECT_EQ(QDir(m_station.path("log")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(tempStationRead(m_station.path("3sec/video.dat")).count("DATA:\n"), 4);
    for (const QString& server : m_server)
        EXPECT_TRUE(QDir(server + "/control").entryList({"*.part"}, QDir::Files).isEmpty());
}

TEST_F(shareRun, aCameraComputerWritingCapitalNamesIsTakenAsItIs) {
    m_station.startCameras({"--capital-names"});
    m_station.startStation();
    ASSERT_TRUE(waitForDatafiles(4, 60)) << messages().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0);
    m_station.stopCameras();
    EXPECT_TRUE(m_station.everyFrameOfCompletedIntervals());
    EXPECT_EQ(count(m_station.messages(), "error"), 0) << messages().toStdString();
}

TEST_F(shareRun, aNormSuccessTheCameraStillHoldsIsTakenOnceItLetsGo) {
    // Camera A's computer holds its answer open (through SMB, as a Windows program's open
    // file): the share refuses to remove it until it lets go.
    ASSERT_TRUE(writeWhole(m_server[0] + "/control/norm.success", "1"));
    QFile held(m_mount[0] + "/control/norm.success");
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    m_station.startCameras();
    m_station.startStation();
    ASSERT_TRUE(m_station.waitFor(
        [&] { return m_station.cameraLog().contains("camera A: acquire.par: normalising"); }, 30))
        << messages().toStdString();
    // Longer than ten seconds of retries that then give up and go on would take.
    QThread::sleep(15);
    EXPECT_FALSE(m_station.cameraLog().contains("acquire.par: measuring"))
        << "a held answer passed for a new one";
    EXPECT_TRUE(QFile::exists(m_server[0] + "/control/norm.success"));
    held.close();
    ASSERT_TRUE(waitForDatafiles(3, 60)) << messages().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0);
    m_station.stopCameras();
    EXPECT_EQ(count(m_station.messages(), "error"), 0) << messages().toStdString();
    EXPECT_TRUE(m_station.everyFrameOfCompletedIntervals());
}

TEST_F(shareRun, aServerKilledFor20SecondsIsToldOnceAndTheStationMeasuresAgain) {
    m_station.startCameras();
    m_station.startStation();
    ASSERT_TRUE(waitForDatafiles(2, 60)) << messages().toStdString();
    ASSERT_TRUE(fixture("kill-server", 0));
    QThread::sleep(20);
    ASSERT_TRUE(fixture("start-server", 0));
    ASSERT_TRUE(waitForMessage("info : camera A control directory reachable again after", 30))
        << messages().toStdString();
    const qsizetype before = m_station.datafiles().size();
    ASSERT_TRUE(waitForDatafiles(before + 3, 90)) << messages().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0);
    m_station.stopCameras();

    const QStringList m = m_station.messages();
    EXPECT_EQ(count(m, "warning : camera A control directory"), 1) << messages().toStdString();
    EXPECT_EQ(count(m, "info : camera A control directory reachable again"), 1);
    EXPECT_EQ(count(m, "warning : camera B"), 0);
    size_t written = 0;
    EXPECT_TRUE(m_station.onlySentFramesOnce(&written));
    EXPECT_GT(written, 0u);
}

TEST_F(shareRun, aStalledServerHoldsNoMoreThanItsCameraAndTheLoopGoesOn) {
    m_station.startCameras();
    m_station.startStation();
    ASSERT_TRUE(waitForDatafiles(2, 60)) << messages().toStdString();
    ASSERT_TRUE(fixture("pause-server", 0));
    // A minute of a server that hangs: the status file is refreshed all along (the loop runs),
    // and camera B is told to resync through its own share.
    QSet<double> updates;
    for (int i = 0; i < 60; ++i) {
        updates.insert(statusUpdated());
        QThread::sleep(1);
    }
    const QString cameras = m_station.cameraLog();
    ASSERT_TRUE(fixture("resume-server", 0));
    EXPECT_GE(updates.size(), 4) << "the status file stood still while camera A's share hung";
    EXPECT_TRUE(cameras.contains("camera B: resync: idle") ||
                cameras.contains("camera B: cancel: idle"))
        << cameras.toStdString();
    EXPECT_EQ(count(m_station.messages(), "warning : camera A share not answering"), 1)
        << messages().toStdString();

    ASSERT_TRUE(waitForMessage("info : camera A share answering again after", 60))
        << messages().toStdString();
    const qsizetype before = m_station.datafiles().size();
    ASSERT_TRUE(waitForDatafiles(before + 3, 90)) << messages().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0) << "the station must end when asked, not hang";
    m_station.stopCameras();
    const QStringList m = m_station.messages();
    EXPECT_EQ(count(m, "warning : camera A share not answering"), 1) << messages().toStdString();
    EXPECT_EQ(count(m, "info : camera A share answering again"), 1);
    EXPECT_EQ(count(m, "warning : camera B"), 0);
    EXPECT_TRUE(m_station.onlySentFramesOnce());
}

// After a power cut the station is often up before a camera computer: camera A's server is
// down (killed) or hangs (paused) when the station starts. The station beats within 10 s all
// the same, keeps A's configured directories, and measures with A within 30 s of its return.
void shareRun::startWithServerAway(const char* away, const char* back) {
    ASSERT_TRUE(fixture(away, 0));
    QElapsedTimer clock;
    clock.start();
    m_station.startCameras();
    m_station.startStation();
    EXPECT_TRUE(
        m_station.waitFor([&] { return QFile::exists(m_station.path("check_kiv.txt")); }, 10))
        << "a heartbeat within 10 s";
    EXPECT_LE(clock.elapsed(), 10500) << messages().toStdString();
    QThread::sleep(5);
    ASSERT_TRUE(fixture(back, 0));
    EXPECT_TRUE(m_station.waitFor([&] { return m_station.hasWrittenFramesOf('A'); }, 30))
        << messages().toStdString() << m_station.cameraLog().toStdString();
    EXPECT_EQ(m_station.stopStation(), 0);
    m_station.stopCameras();
    const QStringList m = m_station.messages();
    EXPECT_EQ(count(m, "pProcessConfFile"), 0) << "no directory setting refused";
    EXPECT_TRUE(m_station.onlySentFramesOnce());
}

TEST_F(shareRun, aServerDownAtTheStartJoinsOnceItAnswers) {
    startWithServerAway("kill-server", "start-server");
}

TEST_F(shareRun, aServerHungAtTheStartJoinsOnceItAnswers) {
    startWithServerAway("pause-server", "resume-server");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no share; running them does, and says why it cannot.
    if (!::testing::GTEST_FLAG(list_tests)) {
        const QString why = whyNoShare();
        if (!why.isEmpty()) {
            std::printf("SKIP: %s\n", why.toLocal8Bit().constData());
            return SKIP;
        }
    }
    return RUN_ALL_TESTS();
}
