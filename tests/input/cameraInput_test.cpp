#include "app/stationSetup.h"
#include "input/inputStation.h"

namespace {

typedef inputStation collectTest;

const std::string MOVE_FAILED = "pProcessInputDirectory : error : unable to execute mv command\n";

// The input's directories as the station configuration would set them.
void setDirectories(cameraInput& input, const QString& inputDir, const QString& controlDir,
                    const QString& workDir = QString()) {
    cameraInputConfig config = input.config();
    if (!inputDir.isEmpty())
        config.inputDir = inputDir;
    if (!controlDir.isEmpty())
        config.controlDir = controlDir;
    if (!workDir.isEmpty())
        config.workDir = workDir;
    input.configure(config);
}

} // namespace

TEST_F(collectTest, prepareInputChecksEveryDirectory) {
    std::unique_ptr<cameraInput> a = camera(1);
    EXPECT_TRUE(a->prepareInput());
    EXPECT_EQ(a->transferFilter(), "*.a.cam");

    // A missing input directory: not valid, but the others are still made absolute.
    setDirectories(*a, "gone", "ctl\\a\\");
    EXPECT_FALSE(a->prepareInput());
    EXPECT_EQ(a->inputDir(), dir.path() + "/gone");
    EXPECT_EQ(a->controlDir(), dir.path() + "/ctl/a");

    std::unique_ptr<cameraInput> neither = makeCameraInput(syncs, 0, "./acquire_kiv.set");
    EXPECT_FALSE(neither->prepareInput());
    EXPECT_EQ(neither->transferFilter(), ".x.cam");
    EXPECT_FALSE(neither->removeWorkFiles());
}

TEST_F(collectTest, onePollMovesEveryFileOfTheCamera) {
    std::unique_ptr<cameraInput> a = camera(1);
    stderrCapture err;
    EXPECT_EQ(a->collectInput(), 0) << "empty input directory";
    dir.write("cam_a/input/1.a.cam", "t");
    dir.write("cam_a/input/2.norm.a.cam", "n");
    dir.write("cam_a/input/3.log.a.cam", "l");
    // A camera computer's names have no case: one in capitals is the camera's all the same.
    dir.write("cam_a/input/x.A.CAM", "upper case");
    dir.write("cam_a/input/y.a.cam.part", "still written");
    dir.write("cam_a/input/z.b.cam", "other camera");
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER | INPUT_NORM | INPUT_LOG);
    EXPECT_EQ(dir.list("temp"), (QStringList{"1.a.cam", "2.norm.a.cam", "3.log.a.cam", "x.A.CAM"}));
    EXPECT_EQ(dir.list("cam_a/input"), (QStringList{"y.a.cam.part", "z.b.cam"}));
    // Files left from an earlier poll count as well.
    dir.write("cam_a/input/4.a.cam", "t");
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER | INPUT_NORM | INPUT_LOG);
    EXPECT_EQ(err.text(), "");
}

TEST_F(collectTest, aNameThatStillWaitsStaysInTheInputDirectory) {
    std::unique_ptr<cameraInput> a = camera(1);
    dir.write("temp/1.a.cam", "waiting");
    dir.write("cam_a/input/1.a.cam", "newer");
    dir.write("cam_a/input/2.a.cam", "other");
    stderrCapture err;
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(dir.read("temp/1.a.cam"), "waiting");
    EXPECT_EQ(dir.read("cam_a/input/1.a.cam"), "newer");
    EXPECT_TRUE(dir.exists("cam_a/input/2.a.cam")) << "files after it wait with it";
}

// One file that cannot be moved is set aside: reported once, skipped while it stays as it
// is, tried again a minute later; the camera's other files go on.
TEST_F(collectTest, aFileThatCannotBeMovedIsSetAsideAndTheOthersGoOn) {
    std::unique_ptr<cameraInput> a = camera(1);
    dir.write("cam_a/input/1.a.cam", "t");
    dir.write("cam_a/input/2.a.cam", "t");
    stderrCapture err;
    {
        scopedFileFaults faults([](fileOp op, const QString& path) {
            return op == fileOp::RENAME && path.endsWith("1.a.cam");
        });
        EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
        dir.write("cam_a/input/3.a.cam", "t");
        clock.advance(3);
        EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
    }
    EXPECT_EQ(err.text(), "") << "no failed poll";
    EXPECT_EQ(log.messages(),
              QStringList{"error : input file 1.a.cam set aside : unable to move it into the "
                          "working directory (Permission denied)"});
    EXPECT_EQ(dir.list("cam_a/input"), QStringList{"1.a.cam"});
    EXPECT_EQ(dir.list("temp"), (QStringList{"2.a.cam", "3.a.cam"}));
    clock.advance(60);
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
    EXPECT_TRUE(dir.list("cam_a/input").isEmpty());
}

TEST_F(collectTest, anInvalidInputReportsOnlyThatItCannotMove) {
    std::unique_ptr<cameraInput> a = camera(1);
    setDirectories(*a, QString(), dir.file("gone"));
    ASSERT_FALSE(a->prepareInput());
    dir.write("cam_a/input/1.a.cam", "t");
    stderrCapture err;
    EXPECT_EQ(a->collectInput(), 0);
    EXPECT_EQ(err.text(), MOVE_FAILED);
    EXPECT_TRUE(dir.exists("cam_a/input/1.a.cam"));

    // A missing input directory is silence, not an error.
    setDirectories(*a, dir.file("gone"), QString());
    stderrCapture quiet;
    EXPECT_EQ(a->collectInput(), 0);
    EXPECT_EQ(quiet.text(), "");
}

TEST_F(collectTest, startUpKeepsTheCameraLogsAndClearsEverythingElse) {
    dir.write("temp/1.a.cam", "old transfer");
    dir.write("temp/2.norm.a.cam", "old norm");
    dir.write("temp/3.log.a.cam", "waiting log\n");
    dir.write("temp/4.b.cam", "camera B");
    dir.write("cam_a/input/5.log.a.cam", "delivered log\n");
    dir.write("cam_a/input/6.a.cam", "new transfer");
    std::unique_ptr<cameraInput> a = camera(1);
    EXPECT_EQ(dir.list("temp"), QStringList{"4.b.cam"});
    EXPECT_EQ(dir.list("cam_a/input"), QStringList{"6.a.cam"});
    QByteArray daily = dailyLog(1);
    EXPECT_TRUE(daily.contains("# input from file : " + dir.file("temp/3.log.a.cam").toUtf8()));
    EXPECT_LT(daily.indexOf("waiting log"), daily.indexOf("delivered log"));
    EXPECT_EQ(log.messages(), (QStringList{"processed log file " + dir.file("temp/3.log.a.cam"),
                                           "processed log file " + dir.file("temp/5.log.a.cam")}));
}

TEST_F(collectTest, removeWorkFilesReportsWhatCouldNotGo) {
    std::unique_ptr<cameraInput> a = camera(1);
    dir.write("temp/1.a.cam", "t");
    dir.write("temp/2.log.a.cam", "log line\n");
    dir.write("temp/3.b.cam", "camera B");
    {
        scopedFileFaults faults([](fileOp op, const QString& path) {
            return op == fileOp::REMOVE && path.endsWith("1.a.cam");
        });
        EXPECT_FALSE(a->removeWorkFiles());
    }
    EXPECT_EQ(dir.list("temp"), (QStringList{"1.a.cam", "3.b.cam"}));
    EXPECT_TRUE(dailyLog(1).contains("log line"));
    EXPECT_TRUE(a->removeWorkFiles());
    EXPECT_EQ(dir.list("temp"), QStringList{"3.b.cam"});
    setDirectories(*a, QString(), QString(), dir.file("gone"));
    EXPECT_FALSE(a->removeWorkFiles());
}

// The camera names a file like one that still waits in the working directory: it follows
// that one, and the camera's newer files wait behind it, so that its lines arrive in order.
TEST_F(collectTest, aFileNamedLikeOneStillWaitingKeepsItsPlaceInTheOrder) {
    std::unique_ptr<cameraInput> a = camera(1);
    ASSERT_TRUE(syncs->addSync(stationParams()));
    dir.write("temp/1.a.cam", transfer(1, 0, 100));
    dir.write("cam_a/input/1.a.cam", transfer(1, 100, 100));
    dir.write("cam_a/input/2.a.cam", transfer(1, 200, 100));
    for (int poll = 0; poll < 3; ++poll) {
        a->collectInput();
        while (a->processNextFile() == PROCESSED_TRANSFER) {
        }
    }
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join("\n").toStdString();
    ASSERT_EQ(a->queue().size(), 3u);
    EXPECT_EQ(a->queue().frames()[1].header.lineCounter, 100u);
    EXPECT_EQ(a->queue().frames()[2].header.lineCounter, 200u);
    EXPECT_TRUE(dir.list("cam_a/input").isEmpty());
}

// The share stops answering while a transfer file is moved into the working directory: the
// poll gives up after the bound of the station clock, and no file after it is moved. Whatever
// the late move did, once the share answers the file is read once, in its place in the order:
// moved late (it waits in the working directory until the poll settles the move), or left in
// the input directory with a copy beside it (the copy goes and the file is moved again).
TEST_F(collectTest, aMoveThatReturnsLateIsReadOnceInItsPlace) {
    for (bool copyStayed : {false, true}) {
        SCOPED_TRACE(copyStayed ? "source and copy" : "moved late");
        cameraShare share(SHARE_CALL_BOUND_MS);
        std::unique_ptr<cameraInput> a = camera(1, &share);
        ASSERT_TRUE(syncs->addSync(stationParams()));
        const uint64_t base = 0;
        dir.write("cam_a/input/1.a.cam", transfer(1, base, 100));
        dir.write("cam_a/input/2.a.cam", transfer(1, base + 100, 100));
        const int64_t slept = clock.sleptMs();
        share.holdNext(shareOp::move);
        EXPECT_EQ(a->collectInput(), 0);
        EXPECT_EQ(clock.sleptMs() - slept, SHARE_CALL_BOUND_MS);
        if (copyStayed)
            dir.write("temp/1.a.cam", transfer(1, base, 100)); // the late move then finds it
        share.release();
        EXPECT_TRUE(dir.exists("cam_a/input/2.a.cam")) << "the files after it waited";
        EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING) << "not before the move is settled";

        EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
        EXPECT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
        EXPECT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
        EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
        EXPECT_TRUE(dir.list("cam_a/input").isEmpty());
        EXPECT_TRUE(dir.list("temp").isEmpty());
        ASSERT_EQ(a->queue().size(), 2u);
        EXPECT_EQ(a->queue().frames()[0].header.lineCounter, base);
        EXPECT_EQ(a->queue().frames()[1].header.lineCounter, base + 100);
        EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join("\n").toStdString();
    }
}

// A share that did not answer tells nothing about the files set aside or held back: they are
// neither forgotten nor reported again once it answers.
TEST_F(collectTest, aStallForgetsNoFileSetAside) {
    cameraShare share(SHARE_CALL_BOUND_MS);
    std::unique_ptr<cameraInput> a = camera(1, &share);
    dir.write("cam_a/input/2.a.cam", "t");
    ASSERT_EQ(symlink(dir.file("cam_a/input/2.a.cam").toLocal8Bit().constData(),
                      dir.file("cam_a/input/1.a.cam").toLocal8Bit().constData()),
              0);
    scopedFileFaults faults([](fileOp op, const QString& path) {
        return op == fileOp::RENAME && path.endsWith("2.a.cam");
    });
    for (shareOp held : {shareOp::list, shareOp::list, shareOp::stat}) {
        a->collectInput();
        share.holdNext(held);
        EXPECT_EQ(a->collectInput(), 0);
        share.release();
        clock.advance(3);
    }
    a->collectInput();
    EXPECT_EQ(log.messages(),
              (QStringList{"error : input file 1.a.cam set aside : it is not a regular file",
                           "warning : input file 2.a.cam cannot be moved into the working "
                           "directory (Permission denied) -> tried again first, the camera's "
                           "later files wait"}));
}

// The camera's share does not answer while the station starts: the input cannot be checked,
// and is checked again once the share answers instead of being refused for the whole run.
TEST_F(collectTest, anInputUncheckedForAStallAtTheStartIsCheckedWhenTheShareAnswers) {
    cameraShare share(SHARE_CALL_BOUND_MS);
    share.holdNext(shareOp::stat);
    std::unique_ptr<cameraInput> a = camera(1, &share);
    dir.write("cam_a/input/1.a.cam", "t");
    stderrCapture err;
    EXPECT_EQ(a->collectInput(), 0) << "still stalled";
    share.release();
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER);
    EXPECT_EQ(dir.list("temp"), QStringList{"1.a.cam"});
    EXPECT_EQ(err.text(), "") << "no refused poll";
}
