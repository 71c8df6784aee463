#include "platform/fileOps.h"
#include "platform/shareWorker.h"
#include "support/testSupport.h"

#include <QThread>

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A share folder "cam" with its worker, and a call that hangs on it until released, as a
// call into a server that stopped answering does.
struct shareWorkerTest : ::testing::Test {
    shareWorkerTest() : share({dir.mkdir("cam")}, 50), released(release.get_future().share()) {}
    ~shareWorkerTest() override {
        if (!releasedYet)
            release.set_value();
    }
    // Hangs the worker; the call gives up after the bound.
    bool hang() {
        std::shared_future<void> until = released;
        return share.run([until] { until.wait(); });
    }
    void letGo() {
        releasedYet = true;
        release.set_value();
    }
    bool waitUntilAnswering() {
        for (int i = 0; i < 200 && share.stalled(); ++i)
            QThread::msleep(10);
        return !share.stalled();
    }

    tempStation dir;
    shareWorker share;
    std::promise<void> release;
    std::shared_future<void> released;
    bool releasedYet = false;
};

} // namespace

TEST_F(shareWorkerTest, servesPathsUnderItsDirectoriesOnlyAndNeverItsOwnThread) {
    const QString cam = dir.file("cam");
    EXPECT_EQ(shareWorker::serving(cam), &share);
    EXPECT_EQ(shareWorker::serving(cam + "/input/x.a.cam"), &share);
    EXPECT_EQ(shareWorker::serving(cam + "2/x.a.cam"), nullptr) << "a neighbour sharing a prefix";
    EXPECT_EQ(shareWorker::serving(dir.file("work/x.a.cam")), nullptr);
    // A call that uses other file operations runs them on the worker directly.
    shareWorker* inside = &share;
    ASSERT_TRUE(share.run([&inside, cam] { inside = shareWorker::serving(cam + "/x"); }));
    EXPECT_EQ(inside, nullptr);
}

TEST_F(shareWorkerTest, aCallInTimeGivesItsResultErrnoAndExceptions) {
    dir.write("cam/x.a.cam", "data");
    EXPECT_TRUE(fileExists(dir.file("cam/x.a.cam")));
    EXPECT_EQ(renameNoReplaceErrno(dir.file("cam/gone"), dir.file("cam/y")), ENOENT);
    errno = 0;
    EXPECT_FALSE(removeFile(dir.file("cam/gone")));
    EXPECT_EQ(errno, ENOENT) << "errno of the worker's thread, carried over";
    QStringList names;
    ASSERT_TRUE(listFiles(dir.file("cam"), "*.A.CAM", &names));
    EXPECT_EQ(names, QStringList{"x.a.cam"});
    EXPECT_THROW(share.run([] { throw std::runtime_error("thrown on the worker"); }),
                 std::runtime_error);
    EXPECT_FALSE(share.stalled());
    EXPECT_EQ(share.stalls(), 0);
}

TEST_F(shareWorkerTest, aHungCallStallsTheShareUntilItReturnsAndOtherFilesGoOn) {
    dir.write("cam/x.a.cam", "data");
    dir.write("local.a.cam", "data");
    ASSERT_FALSE(hang());
    EXPECT_TRUE(share.stalled());
    EXPECT_EQ(share.stalls(), 1);

    // Every operation on the share fails at once with ETIMEDOUT and changes nothing.
    errno = 0;
    EXPECT_FALSE(removeFile(dir.file("cam/x.a.cam")));
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(moveFileNoReplaceErrno(dir.file("cam/x.a.cam"), dir.file("x.a.cam")), ETIMEDOUT);
    QStringList names{"stale"};
    EXPECT_FALSE(listFiles(dir.file("cam"), "*.a.cam", &names));
    EXPECT_TRUE(names.isEmpty());
    EXPECT_FALSE(directoryExists(dir.file("cam")));
    EXPECT_TRUE(dir.exists("cam/x.a.cam"));
    EXPECT_EQ(share.stalls(), 1) << "refused at once, not another overrun";
    // Elsewhere all goes on.
    EXPECT_TRUE(fileExists(dir.file("local.a.cam")));

    letGo();
    ASSERT_TRUE(waitUntilAnswering());
    EXPECT_TRUE(directoryExists(dir.file("cam")));
    EXPECT_EQ(moveFileNoReplaceErrno(dir.file("cam/x.a.cam"), dir.file("x.a.cam")), 0);
    EXPECT_EQ(dir.read("x.a.cam"), "data");
    EXPECT_EQ(share.stalls(), 1);
}

TEST_F(shareWorkerTest, aLateCallFinishesOnItsOwnAfterTheWorkerIsGone) {
    // The late call writes only into what it holds itself; the worker's end does not wait
    // for it (a hang of the server would hold up the station's exit).
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        shareWorker other({dir.mkdir("other")}, 50);
        std::shared_future<void> until = released;
        ASSERT_FALSE(other.run([until, finished] {
            until.wait();
            *finished = true;
        }));
        EXPECT_EQ(shareWorker::serving(dir.file("other/x")), &other);
    }
    EXPECT_EQ(shareWorker::serving(dir.file("other/x")), nullptr);
    EXPECT_FALSE(*finished);
    letGo();
    for (int i = 0; i < 200 && !*finished; ++i)
        QThread::msleep(10);
    EXPECT_TRUE(*finished);
}
