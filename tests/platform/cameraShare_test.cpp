#include "platform/cameraShare.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

const int BOUND_MS = 5000;

// A share folder "cam" served by a worker, and the station's own folder "work", on a
// simulated clock: a stall costs the bound on that clock and no real time.
struct cameraShareTest : ::testing::Test {
    cameraShareTest() : clock(1.7e9), guard(&clock), share(BOUND_MS) {
        dir.mkdir("cam");
        dir.mkdir("work");
    }
    QString cam(const char* name) const { return dir.file(QStringLiteral("cam/") + name); }
    QString work(const char* name) const { return dir.file(QStringLiteral("work/") + name); }

    tempStation dir;
    simulatedClock clock;
    scopedStationClock guard;
    cameraShare share;
};

// One operation of the share on "cam/x.a.cam" (or into "cam/y.a.cam", "work/x.a.cam").
struct operation {
    const char* what;
    shareOp op;
    std::function<fileOutcome(cameraShareTest&)> run;
    QStringList lateCam; // the share folder once the call returned late
    QStringList lateWork;
};

const operation OPERATIONS[] = {
    {"list",
     shareOp::list,
     [](cameraShareTest& t) { return t.share.list(t.dir.file("cam"), "*.a.cam").outcome; },
     {"x.a.cam"},
     {}},
    {"stat",
     shareOp::stat,
     [](cameraShareTest& t) { return t.share.stat(t.cam("x.a.cam")).outcome; },
     {"x.a.cam"},
     {}},
    {"read",
     shareOp::read,
     [](cameraShareTest& t) { return t.share.readWhole(t.cam("x.a.cam"), 100).outcome; },
     {"x.a.cam"},
     {}},
    {"write",
     shareOp::write,
     [](cameraShareTest& t) { return t.share.writeNew(t.cam("y.a.cam"), "new").outcome; },
     {"x.a.cam", "y.a.cam"},
     {}},
    {"rename",
     shareOp::rename,
     [](cameraShareTest& t) { return t.share.rename(t.cam("x.a.cam"), t.cam("y.a.cam")).outcome; },
     {"y.a.cam"},
     {}},
    {"move",
     shareOp::move,
     [](cameraShareTest& t) {
         return t.share.moveOut(t.cam("x.a.cam"), t.work("x.a.cam")).outcome;
     },
     {},
     {"x.a.cam"}},
    {"remove",
     shareOp::remove,
     [](cameraShareTest& t) { return t.share.remove(t.cam("x.a.cam")).outcome; },
     {},
     {}},
};

} // namespace

TEST_F(cameraShareTest, everyOperationAnswersInTimeWithItsResult) {
    dir.write("cam/x.a.cam", "data");
    const fileResult<shareListing> listing = share.list(dir.file("cam"), "*.a.cam");
    ASSERT_TRUE(listing);
    EXPECT_EQ(listing.value.names, QStringList{"x.a.cam"});
    EXPECT_EQ(share.stat(cam("x.a.cam")).value.stamp.size, 4u);
    EXPECT_TRUE(share.stat(dir.file("cam")).value.directory);
    EXPECT_TRUE(share.stat(cam("gone")).failedWith(ENOENT));
    EXPECT_EQ(share.readWhole(cam("x.a.cam"), 100).value, "data");
    EXPECT_TRUE(share.readWhole(cam("x.a.cam"), 3).failedWith(EFBIG));
    EXPECT_TRUE(share.writeNew(cam("y.a.cam"), "new"));
    EXPECT_TRUE(share.rename(cam("y.a.cam"), cam("x.a.cam")).failedWith(EEXIST));
    EXPECT_TRUE(share.remove(cam("gone")).failedWith(ENOENT));
    EXPECT_TRUE(share.moveOut(cam("x.a.cam"), work("x.a.cam")));
    EXPECT_EQ(dir.read("work/x.a.cam"), "data");
    EXPECT_EQ(clock.sleptMs(), 0) << "answered calls cost no time of the clock";
    EXPECT_EQ(share.stalls(), 0);
}

// The server stops answering during each operation in turn: the caller gives up after the
// bound of the station clock, every further call fails at once, and the call that hung does
// its work when it returns late.
TEST_F(cameraShareTest, aStallDuringEachOperationCostsTheBoundOnceAndItsLateWorkLands) {
    for (const operation& o : OPERATIONS) {
        SCOPED_TRACE(o.what);
        for (const QString& folder : {QStringLiteral("cam"), QStringLiteral("work")})
            for (const QString& name : dir.list(folder))
                ASSERT_TRUE(removeFile(dir.file(folder + "/" + name)));
        dir.write("cam/x.a.cam", "data");
        const int64_t slept = clock.sleptMs();
        const int64_t stalls = share.stalls();

        share.holdNext(o.op);
        EXPECT_EQ(o.run(*this), fileOutcome::unanswered);
        EXPECT_EQ(clock.sleptMs() - slept, BOUND_MS);
        EXPECT_TRUE(share.stalled());
        EXPECT_TRUE(share.stat(cam("x.a.cam")).unanswered()) << "refused at once";
        EXPECT_TRUE(share.remove(cam("x.a.cam")).unanswered());
        EXPECT_EQ(clock.sleptMs() - slept, BOUND_MS);
        EXPECT_EQ(share.stalls(), stalls + 1) << "one stall, however many calls it refused";

        share.release();
        EXPECT_FALSE(share.stalled());
        EXPECT_EQ(dir.list("cam"), o.lateCam);
        EXPECT_EQ(dir.list("work"), o.lateWork);
        EXPECT_TRUE(share.stat(dir.file("cam")).value.directory) << "answering again";
    }
}

// A late call carries copies of everything it uses: a fault hook reset meanwhile (as a test
// ends) changes nothing of it, and it reaches nothing of the caller.
TEST_F(cameraShareTest, aLateCallRunsOnTheCopiesItWasGiven) {
    dir.write("cam/x.a.cam", "data");
    {
        scopedFileFaults faults([](fileOp op, const QString&) { return op == fileOp::REMOVE; });
        share.holdNext(shareOp::remove);
        QString path = cam("x.a.cam");
        EXPECT_TRUE(share.remove(path).unanswered());
        path = cam("other");
    }
    share.release();
    EXPECT_EQ(dir.list("cam"), QStringList{"x.a.cam"}) << "refused by the hook it was given";
}

// A move from one share to another runs each step on the worker of the share it touches: the
// destination hanging stalls the destination alone, and nothing is left half done.
TEST_F(cameraShareTest, aMoveBetweenTwoSharesIsBoundedOnBoth) {
    cameraShare other(BOUND_MS);
    dir.write("cam/x.a.cam", "data");
    ASSERT_TRUE(share.moveOut(cam("x.a.cam"), work("x.a.cam"), &other));
    EXPECT_EQ(dir.read("work/x.a.cam"), "data");
    EXPECT_TRUE(dir.list("cam").isEmpty());

    dir.write("cam/y.a.cam", "more");
    other.holdNext(shareOp::write);
    EXPECT_TRUE(share.moveOut(cam("y.a.cam"), work("y.a.cam"), &other).unanswered());
    EXPECT_TRUE(other.stalled());
    EXPECT_FALSE(share.stalled());
    EXPECT_EQ(clock.sleptMs(), BOUND_MS);
    other.release();
    EXPECT_EQ(dir.list("cam"), QStringList{"y.a.cam"})
        << "the source stays until the copy is whole";
    EXPECT_EQ(dir.list("work"), (QStringList{"x.a.cam", "y.a.cam.part"}));
    ASSERT_TRUE(share.moveOut(cam("y.a.cam"), work("y.a.cam"), &other)) << "a later poll";
    EXPECT_EQ(dir.list("work"), (QStringList{"x.a.cam", "y.a.cam"}));
}

TEST_F(cameraShareTest, aLocalFolderRunsAtOnceAndAHeldCallGoesWithItsShare) {
    cameraShare local;
    EXPECT_FALSE(local.bounded());
    dir.write("cam/x.a.cam", "data");
    local.holdNext(shareOp::remove); // nothing to hold: no worker
    EXPECT_TRUE(local.remove(cam("x.a.cam")));
    EXPECT_FALSE(local.stalled());

    // Torn down while a call hangs in it: the end waits for nothing, and the call never runs.
    dir.write("cam/z.a.cam", "data");
    {
        cameraShare gone(BOUND_MS);
        gone.holdNext(shareOp::remove);
        EXPECT_TRUE(gone.remove(cam("z.a.cam")).unanswered());
    }
    EXPECT_TRUE(dir.exists("cam/z.a.cam"));
}
