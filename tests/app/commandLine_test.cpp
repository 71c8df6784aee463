#include "app/commandLine.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(log.messages(),
              QStringList({"entering measurement mode", "calibration mode is set"}));
}

// Unknown arguments are still ignored, but each is named once before the run starts.
TEST_F(dispatch, unknownArgumentsAreNamedOnceAndTheRunGoesOn) {
    commandLine c = parse({"--bogus", "--help", "x", "--bogus", "--version"});
    EXPECT_TRUE(c.help && c.version);
    EXPECT_EQ(c.unknown, QStringList({"--bogus", "x"}));
    messageCapture log;
    EXPECT_EQ(runMode(c, runners), 11);
    EXPECT_EQ(log.messages(),
              QStringList({"warning : unknown argument --bogus ignored",
                           "warning : unknown argument x ignored", "entering measurement mode"}));
}

TEST_F(dispatch, bothVideoModesRunTheVideoLoopWithoutMessages) {
    messageCapture log;
    EXPECT_EQ(runMode(parse({"--livevideo", "--calibration"}), runners), 22);
    EXPECT_EQ(runMode(parse({"--normvideo"}), runners), 22);
    EXPECT_EQ(g_videoCalls, 2);
    EXPECT_EQ(g_measurementCalls, 0);
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(dispatch, stopAndRebootEndAtOnce) {
    messageCapture log;
    EXPECT_EQ(runMode(parse({"--stop"}), runners), 0);
    EXPECT_EQ(runMode(parse({"--reboot"}), runners), 0);
    EXPECT_EQ(g_videoCalls + g_measurementCalls, 0);
    EXPECT_TRUE(log.messages().isEmpty());
}
