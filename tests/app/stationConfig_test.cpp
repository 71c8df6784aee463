#include "app/stationSetup.h"
#include "config/stationConfig.h"
#include "input/cameraInput.h"
#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "platform/stationPath.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {

// The camera inputs are built in a temporary station folder, which is the working directory,
// so that relative and drive-letter directories land there.
struct stationConfigTest : ::testing::Test {
    stationConfigTest() : cwd(dir.path()), syncs(new syncList()) {}
    std::unique_ptr<cameraInput> build(uint32_t kind, const QByteArray& text) {
        dir.write("acquire_kiv.set", text);
        return makeCameraInput(syncs, kind, "./acquire_kiv.set");
    }
    static std::string rejected(const char* key, const char* value) {
        return std::string("pProcessConfFile : error : invalid combination ") + key + " : " +
               value + " -> ignoring \n";
    }

    tempStation dir;
    scopedWorkingDir cwd;
    syncListPtr syncs;
};

} // namespace

TEST_F(stationConfigTest, withoutAFileTheDefaultsHold) {
    std::unique_ptr<cameraInput> a = makeCameraInput(syncs, 1, "./acquire_kiv.set");
    EXPECT_EQ(a->inputDir(), dir.path() + "/A:");
    EXPECT_EQ(a->controlDir(), dir.path() + "/A:");
    EXPECT_EQ(a->workDir(), dir.path() + "/C:/data/temp");
    EXPECT_FALSE(a->rebootAtResync());
    std::unique_ptr<cameraInput> b = makeCameraInput(syncs, 2, "./acquire_kiv.set");
    EXPECT_EQ(b->inputDir(), dir.path() + "/B:");
    EXPECT_EQ(b->controlDir(), dir.path() + "/B:");
    EXPECT_FALSE(pProcessConfFile(b.get(), "./acquire_kiv.set"));
}

TEST_F(stationConfigTest, eachCameraTakesItsOwnKeysAndTheSharedOnes) {
    dir.mkdir("in/a");
    dir.mkdir("in/b");
    dir.mkdir("ctl/a");
    dir.mkdir("work");
    const QByteArray text = "cam_a_input_dir   in\\a\\\n"
                            "cam_a_control_dir ctl\\a\n"
                            "poll_interval_a   59\n"
                            "cam_b_input_dir   in\\b\n"
                            "cam_b_control_dir no\\such\\dir\n"
                            "poll_interval_b   60\n"
                            "temp_dir          work\n"
                            "reboot_at_resync  1\n"
                            "3sec_dir          elsewhere\n";
    stderrCapture err;
    std::unique_ptr<cameraInput> a = build(1, text);
    std::string aErrors = err.text();
    EXPECT_EQ(aErrors, "") << "camera B's keys are not camera A's business";
    EXPECT_EQ(a->inputDir(), dir.path() + "/in/a");
    EXPECT_EQ(a->controlDir(), dir.path() + "/ctl/a");
    EXPECT_EQ(a->workDir(), dir.path() + "/work");
    EXPECT_TRUE(a->rebootAtResync());

    // A camera's directory that is not there (its share not yet mounted) stays in force.
    stderrCapture errB;
    std::unique_ptr<cameraInput> b = build(2, text);
    EXPECT_EQ(errB.text(), rejected("poll_interval_b", "60"));
    EXPECT_EQ(b->inputDir(), dir.path() + "/in/b");
    EXPECT_EQ(b->controlDir(), dir.path() + "/no/such/dir");
}

TEST_F(stationConfigTest, rejectedValuesKeepTheOldOneAndLaterEntriesWin) {
    dir.mkdir("one");
    dir.mkdir("two");
    stderrCapture err;
    std::unique_ptr<cameraInput> a = build(1, "poll_interval_a 7\n"
                                              "poll_interval_a 0\n"
                                              "poll_interval_a abc\n"
                                              "poll_interval_a 99999999999999999999\n"
                                              "temp_dir one\n"
                                              "temp_dir two\n"
                                              "temp_dir missing\n"
                                              "reboot_at_resync 1\n"
                                              "reboot_at_resync 2\n");
    EXPECT_EQ(err.text(), rejected("poll_interval_a", "0") + rejected("poll_interval_a", "abc") +
                              rejected("poll_interval_a", "99999999999999999999") +
                              rejected("temp_dir", "missing"));
    EXPECT_EQ(a->workDir(), dir.path() + "/two");
    EXPECT_FALSE(a->rebootAtResync());
}

TEST_F(stationConfigTest, processWideDirectoriesAreSetOrRefusedWithTheSameLine) {
    QString logs = dir.mkdir("log");
    QString sync = dir.mkdir("sync");
    QString video = dir.mkdir("video");
    stderrCapture err;
    std::unique_ptr<cameraInput> a = build(1, "log_dir log\\\n"
                                              "sync_list_dir sync\n"
                                              "norm_vid_dir video\n"
                                              "log_dir nolog\n"
                                              "sync_list_dir nosync\n"
                                              "norm_vid_dir novideo\n");
    EXPECT_EQ(err.text(), rejected("log_dir", "nolog") + rejected("sync_list_dir", "nosync") +
                              rejected("norm_vid_dir", "novideo"));
    EXPECT_EQ(logDirectory::instance()->path(), logs);
    EXPECT_EQ(syncs->directory(), sync);
    EXPECT_EQ(videoSnapshot::instance().directory(), video);
}
