#include "control/controlFiles.h"
#include "platform/cameraShare.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"

#include <future>
#include <gtest/gtest.h>

namespace {

const int BOUND_MS = 5000;

// A camera A input whose control directory is "ctl" in a temporary station folder, reached
// through a share with a worker, as the station reaches it, on a simulated clock.
struct controlTest : ::testing::Test {
    controlTest()
        : cwd(dir.path()), syncs(new syncList()), clock(1.7e9), guard(&clock), share(BOUND_MS),
          camera(syncs, 1) {
        useControlDir(dir.mkdir("ctl"));
        camera.useShare(&share);
    }
    void useControlDir(const QString& path) {
        cameraInputConfig config = camera.config();
        config.controlDir = path;
        camera.configure(config);
    }
    QByteArray read(const char* name) const { return dir.read(QStringLiteral("ctl/") + name); }
    bool exists(const char* name) const { return dir.exists(QStringLiteral("ctl/") + name); }
    void write(const char* name, const QByteArray& content) {
        dir.write(QStringLiteral("ctl/") + name, content);
    }
    QStringList files() const { return dir.list("ctl"); }

    tempStation dir;
    scopedWorkingDir cwd;
    syncListPtr syncs;
    simulatedClock clock;
    scopedStationClock guard;
    cameraShare share;
    cameraInput camera;
};

QByteArray parameterFileText(const cameraParams& params) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(writeCameraParams(f, &params), 0);
    QByteArray text(int(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(text.data(), 1, size_t(text.size()), f), size_t(text.size()));
    std::fclose(f);
    return text;
}

// Fails every operation of `op` on paths ending in `suffix`.
fileFaultHook failing(fileOp op, const char* suffix) {
    return [op, suffix](fileOp o, const QString& path) { return o == op && path.endsWith(suffix); };
}

} // namespace

TEST_F(controlTest, aMissingControlDirectoryAnswersNoAndReceivesNothing) {
    useControlDir(dir.file("gone"));
    cameraParams params;
    resetCameraParams(&params);
    EXPECT_FALSE(isConnected(camera));
    EXPECT_FALSE(requestSyncPresent(camera));
    EXPECT_FALSE(normSuccessPresent(camera));
    EXPECT_FALSE(connectCamera(camera));
    EXPECT_FALSE(sendParameterFile(camera, params));
    sendResync(camera);
    sendReboot(camera);
    sendCancel(camera);
    EXPECT_FALSE(dir.exists("gone"));
}

TEST_F(controlTest, connectPlacesTheFileOnceAndLeavesNoPart) {
    EXPECT_FALSE(isConnected(camera));
    EXPECT_TRUE(connectCamera(camera));
    EXPECT_TRUE(isConnected(camera));
    EXPECT_EQ(read("connect"), "connect");
    write("connect", "kept");
    EXPECT_TRUE(connectCamera(camera));
    EXPECT_EQ(read("connect"), "kept");
    EXPECT_EQ(files(), QStringList{"connect"});

    ASSERT_TRUE(removeFile(dir.file("ctl/connect")));
    {
        scopedFileFaults faults(failing(fileOp::RENAME, "connect.part"));
        EXPECT_FALSE(connectCamera(camera));
    }
    {
        scopedFileFaults faults(failing(fileOp::WRITE, "connect.part"));
        EXPECT_FALSE(connectCamera(camera)) << "a connect file that was not written";
    }
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(controlTest, answersOfTheCameraAreSeen) {
    EXPECT_FALSE(requestSyncPresent(camera));
    EXPECT_FALSE(normSuccessPresent(camera));
    write("request.sync", "");
    write("norm.success", "");
    EXPECT_TRUE(requestSyncPresent(camera));
    EXPECT_TRUE(normSuccessPresent(camera));
}

TEST_F(controlTest, commandsNeverReplaceOneTheCameraHasNotTaken) {
    sendResync(camera);
    sendReboot(camera);
    sendCancel(camera);
    EXPECT_EQ(files(), (QStringList{"cancel", "reboot", "resync"}));
    EXPECT_EQ(read("resync"), "1");
    EXPECT_EQ(read("reboot"), "1");
    EXPECT_EQ(read("cancel"), "1");

    write("resync", "old");
    sendResync(camera);
    EXPECT_EQ(read("resync"), "old");
    EXPECT_EQ(read("resync.part"), "1");
    // Once the camera took the old one, the next resync goes through.
    ASSERT_TRUE(removeFile(dir.file("ctl/resync")));
    sendResync(camera);
    EXPECT_EQ(read("resync"), "1");
    EXPECT_FALSE(exists("resync.part"));
}

TEST_F(controlTest, aCommandThatWasNotWrittenCompletelyIsNotDelivered) {
    scopedFileFaults faults(failing(fileOp::WRITE, "reboot.part"));
    sendReboot(camera);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(controlTest, parameterFileIsDeliveredWholeAndNeverOverAnUntakenOne) {
    cameraParams params;
    resetCameraParams(&params);
    params.cameraId = 1;
    params.nextSyncId = 17;
    EXPECT_TRUE(sendParameterFile(camera, params));
    EXPECT_EQ(read("acquire.par"), parameterFileText(params));

    // The previous push is still there: refused, and no ".part" stays behind.
    params.nextSyncId = 18;
    EXPECT_FALSE(sendParameterFile(camera, params));
    EXPECT_EQ(files(), QStringList{"acquire.par"});
    EXPECT_NE(read("acquire.par"), parameterFileText(params));

    // A ".part" left by an interrupted push: the stale file makes room for the new one.
    write("acquire.par.part", "half");
    EXPECT_TRUE(sendParameterFile(camera, params));
    EXPECT_EQ(read("acquire.par"), parameterFileText(params));
    EXPECT_EQ(files(), QStringList{"acquire.par"});

    ASSERT_TRUE(removeFile(dir.file("ctl/acquire.par")));
    scopedFileFaults faults(failing(fileOp::OPEN, "acquire.par.part"));
    EXPECT_FALSE(sendParameterFile(camera, params));
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(controlTest, parameterFilePathIsNotCutShort) {
    QString deep = dir.mkdir(QStringLiteral("ctl/") + QString(120, 'd') + "/" + QString(120, 'e'));
    ASSERT_GT(deep.size(), 254);
    useControlDir(deep);
    cameraParams params;
    resetCameraParams(&params);
    EXPECT_TRUE(sendParameterFile(camera, params));
    EXPECT_TRUE(fileExists(deep + "/acquire.par"));
}

TEST_F(controlTest, removeNormSuccessTriesOnceAndTellsARefusalFromAFileStillHeld) {
    EXPECT_EQ(removeNormSuccess(camera), normSuccessRemoval::removed) << "nothing to remove";

    write("norm.success", "");
    EXPECT_EQ(removeNormSuccess(camera), normSuccessRemoval::removed);
    EXPECT_FALSE(exists("norm.success"));

    // Refused for good: told at once, never waited on (the loop must go on).
    write("norm.success", "");
    {
        scopedFileFaults faults(failing(fileOp::REMOVE, "norm.success"));
        EXPECT_EQ(removeNormSuccess(camera), normSuccessRemoval::failed);
    }
    EXPECT_TRUE(exists("norm.success"));
    EXPECT_EQ(clock.sleptMs(), 0);
}

// A share that stops answering in the middle of a step: the step gives up after the bound on
// the station clock and reports nothing done; every further call fails at once while the
// share is stalled; what the call did when it returned late is what the next cycle finds.
TEST_F(controlTest, aStallInAStepCostsTheBoundOnceAndTheNextCycleFindsTheLateWork) {
    struct stallCase {
        const char* what;
        const char* present; // there before the step
        shareOp held;
        std::function<bool(cameraInput&)> step; // true: the step reports success
        QStringList late;                       // the files once the late call returned
    };
    const cameraParams params = [] {
        cameraParams p;
        resetCameraParams(&p);
        return p;
    }();
    const stallCase cases[] = {
        {"connect, writing", nullptr, shareOp::write, connectCamera, {"connect.part"}},
        {"connect, renaming", nullptr, shareOp::rename, connectCamera, {"connect"}},
        {"push, renaming",
         nullptr,
         shareOp::rename,
         [&](cameraInput& c) { return sendParameterFile(c, params); },
         {"acquire.par"}},
        {"resync, renaming",
         nullptr,
         shareOp::rename,
         [](cameraInput& c) {
             sendResync(c);
             return false;
         },
         {"resync"}},
        {"norm.success, removing",
         "norm.success",
         shareOp::remove,
         [](cameraInput& c) { return removeNormSuccess(c) != normSuccessRemoval::busy; },
         {}},
        {"connected?, looking", "connect", shareOp::stat, isConnected, {"connect"}},
    };
    for (const stallCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& name : files())
            ASSERT_TRUE(removeFile(dir.file("ctl/" + name)));
        if (c.present)
            write(c.present, "");
        const int64_t slept = clock.sleptMs();
        const int64_t stalls = share.stalls();
        share.holdNext(c.held);
        EXPECT_FALSE(c.step(camera));
        EXPECT_EQ(clock.sleptMs() - slept, BOUND_MS) << "the bound, once";
        EXPECT_TRUE(share.stalled());
        EXPECT_EQ(share.stalls(), stalls + 1);
        EXPECT_FALSE(isConnected(camera)) << "unanswered at once while stalled";
        EXPECT_EQ(clock.sleptMs() - slept, BOUND_MS);
        share.release();
        EXPECT_FALSE(share.stalled());
        EXPECT_EQ(files(), c.late);
    }
    // The next cycle goes on from what the late calls left: "connect" stands.
    for (const QString& name : files())
        ASSERT_TRUE(removeFile(dir.file("ctl/" + name)));
    write("connect.part", "left by a late write");
    EXPECT_TRUE(connectCamera(camera));
    EXPECT_EQ(files(), QStringList{"connect"});
    EXPECT_EQ(read("connect"), "connect");
}
