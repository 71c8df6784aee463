#include "app/commandLine.h"
#include "app/startupReport.h"
#include "support/testSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

commandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "acquire_kiv");
    return parseCommandLine(int(args.size()), args.data());
}

int g_measurementCalls = 0;
bool g_calibration = false;
int g_videoCalls = 0;

int fakeMeasurement(bool calibration) {
    ++g_measurementCalls;
    g_calibration = calibration;
    return 11;
}
int fakeVideo() {
    ++g_videoCalls;
    return 22;
}

struct dispatch : ::testing::Test {
    void SetUp() override { g_measurementCalls = g_videoCalls = 0, g_calibration = false; }
    modeRunners runners{fakeMeasurement, fakeVideo};
};

// The messages of a run between its start line and its stop line, which are checked apart.
QStringList between(QStringList messages) {
    if (!messages.isEmpty() && messages.first().startsWith("info : starting "))
        messages.removeFirst();
    if (!messages.isEmpty() && messages.last().startsWith("info : stopped "))
        messages.removeLast();
    return messages;
}

} // namespace

TEST(parseCommandLine, lastModeOptionWinsAndOthersAreIgnored) {
    EXPECT_EQ(parse({}).mode, MODE_MEASUREMENT);
    EXPECT_FALSE(parse({}).calibration);
    EXPECT_EQ(parse({"--livevideo", "--normvideo"}).mode, MODE_NORMVIDEO);
    EXPECT_EQ(parse({"--stop", "--reboot"}).mode, MODE_REBOOT);
    EXPECT_EQ(parse({"--reboot", "--bogus", "--stop"}).mode, MODE_STOP);
    EXPECT_EQ(parse({"--STOP", "-stop", "stop", "--stop=1"}).mode, MODE_MEASUREMENT);
    commandLine c = parse({"--livevideo", "x", "--calibration"});
    EXPECT_EQ(c.mode, MODE_LIVEVIDEO);
    EXPECT_TRUE(c.calibration);
}

TEST_F(dispatch, measurementModeLogsAndPassesTheCalibrationFlag) {
    messageCapture log;
    EXPECT_EQ(runMode(parse({"--calibration"}), runners), 11);
    EXPECT_EQ(g_measurementCalls, 1);
    EXPECT_TRUE(g_calibration);
    EXPECT_EQ(between(log.messages()),
              QStringList({"entering measurement mode", "calibration mode is set"}));
}

// Unknown arguments are still ignored, but each is named once before the run starts.
TEST_F(dispatch, unknownArgumentsAreNamedOnceAndTheRunGoesOn) {
    commandLine c = parse({"--bogus", "--help", "x", "--bogus", "--version"});
    EXPECT_TRUE(c.help && c.version);
    EXPECT_TRUE(parse({"-h"}).help);
    EXPECT_TRUE(parse({"-h"}).unknown.isEmpty());
    EXPECT_EQ(c.unknown, QStringList({"--bogus", "x"}));
    messageCapture log;
    EXPECT_EQ(runMode(c, runners), 11);
    QStringList messages = log.messages();
    ASSERT_GE(messages.size(), 2);
    EXPECT_EQ(messages.mid(0, 2), QStringList({"warning : unknown argument --bogus ignored",
                                               "warning : unknown argument x ignored"}));
    EXPECT_EQ(between(messages.mid(2)), QStringList({"entering measurement mode"}));
}

TEST_F(dispatch, bothVideoModesRunTheVideoLoopWithoutMessagesOfTheirOwn) {
    messageCapture log;
    EXPECT_EQ(runMode(parse({"--livevideo", "--calibration"}), runners), 22);
    EXPECT_EQ(runMode(parse({"--normvideo"}), runners), 22);
    EXPECT_EQ(g_videoCalls, 2);
    EXPECT_EQ(g_measurementCalls, 0);
    EXPECT_EQ(log.messages().size(), 4) << "a start and a stop line each";
}

// A journal read later tells which program ran where with which configuration, and how it
// ended; "--stop" and "--reboot" run nothing and say nothing.
TEST_F(dispatch, aRunIsFramedByStartAndStopLinesNamingIt) {
    const QString pid = QStringLiteral("PID %1,").arg(qint64(getpid()));
    struct {
        std::vector<const char*> args;
        const char* mode;
        const char* status;
    } table[] = {
        {{}, "measurement mode", "exit status 11"},
        {{"--calibration"}, "measurement mode", "exit status 11"},
        {{"--normvideo"}, "normvideo mode", "exit status 22"},
    };
    for (const auto& row : table) {
        messageCapture log;
        runMode(parse(row.args), runners);
        const QStringList m = log.messages();
        ASSERT_GE(m.size(), 2);
        EXPECT_TRUE(m.first().startsWith("info : starting acquire_kiv "))
            << m.first().toStdString();
        EXPECT_TRUE(m.last().startsWith("info : stopped acquire_kiv ")) << m.last().toStdString();
        for (const QString& line : {m.first(), m.last()}) {
            EXPECT_TRUE(line.contains(pid) && line.contains(row.mode) &&
                        line.contains("configuration /"))
                << line.toStdString();
        }
        EXPECT_TRUE(m.last().endsWith(row.status)) << m.last().toStdString();
    }
    messageCapture log;
    runMode(parse({"--stop"}), runners);
    EXPECT_TRUE(log.messages().isEmpty());
}

// The station folder of an installed station links its configuration: the start line names
// where it comes from, and a file of its own that replaced the link is told at the start.
TEST(startupReport, namesWhereTheConfigurationComesFrom) {
    tempStation etc;
    tempStation station;
    etc.write("acquire_kiv.set", "temp_dir /x\n");
    etc.write("acquire.par", "");
    ASSERT_TRUE(QFile::link(etc.file("acquire_kiv.set"), station.file("acquire_kiv.set")));
    station.write("acquire.par", "edited with sed -i\n");
    station.write("camera.a.conf", "no shared file of that name\n");
    scopedWorkingDir inStation(station.path());
    EXPECT_TRUE(
        runIdentity(MODE_MEASUREMENT, "./acquire_kiv.set")
            .contains(QStringLiteral("configuration %1 -> %2")
                          .arg(station.file("acquire_kiv.set"), etc.file("acquire_kiv.set"))));
    messageCapture log;
    reportConfigurationLinks(station.path(), etc.path());
    ASSERT_EQ(log.messages().size(), 1) << log.messages().join('\n').toStdString();
    EXPECT_TRUE(log.messages().first().startsWith("warning : " + station.file("acquire.par")));
    // A station folder of its own, nothing linked: its files are what counts.
    QFile::remove(station.file("acquire_kiv.set"));
    station.write("acquire_kiv.set", "temp_dir /x\n");
    log.clear();
    reportConfigurationLinks(station.path(), etc.path());
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join('\n').toStdString();
}

TEST_F(dispatch, stopAndRebootEndAtOnce) {
    messageCapture log;
    EXPECT_EQ(runMode(parse({"--stop"}), runners), 0);
    EXPECT_EQ(runMode(parse({"--reboot"}), runners), 0);
    EXPECT_EQ(g_videoCalls + g_measurementCalls, 0);
    EXPECT_TRUE(log.messages().isEmpty());
}

// A directory missing at the start is told once and named to the service manager and the
// health files while it is missing; when it comes (a share mounted late) that is told too.
// One that goes away during the run is shown but not told again: the share watch does that.
// A camera share that does not answer leaves its directory as it was at the last look.
TEST(directoryWatch, tellsWhatIsMissingAtTheStartAndWhatCameLater) {
    simulatedClock clock(1700000000.0);
    scopedStationClock guard(&clock);
    tempStation dir;
    const QString log = dir.file("log");
    const QString sync = dir.mkdir("sync");
    const QString control = dir.mkdir("control");
    cameraShare share(5000);
    directoryWatch watch({{"sync_list_dir", "sync list directory", sync, nullptr},
                          {"log_dir", "log directory", log, nullptr},
                          {"cam_a_control_dir", "camera A control directory", control, &share}});
    struct step {
        std::function<void()> change;
        QStringList told;
        QStringList missing;
    } steps[] = {
        {[] {}, {"error : log directory " + log + " does not exist"}, {"log_dir " + log}},
        {[] {}, {}, {"log_dir " + log}},
        {[&] { dir.mkdir("log"); }, {"info : log directory " + log + " exists now"}, {}},
        {[&] { QDir(sync).removeRecursively(); }, {}, {"sync_list_dir " + sync}},
        {[&] { dir.mkdir("sync"); }, {}, {}},
        {[&] {
             QDir(control).removeRecursively();
             share.holdNext(shareOp::stat);
         },
         {},
         {}},
        {[&] { share.release(); }, {}, {"cam_a_control_dir " + control}},
    };
    for (const step& s : steps) {
        s.change();
        messageCapture messages;
        watch.look();
        EXPECT_EQ(messages.messages(), s.told);
        EXPECT_EQ(watch.missing(), s.missing);
    }
}
