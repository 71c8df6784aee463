#include "kiv_inspect/inspectCommand.h"
#include "status/healthFiles.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

TEST(inspectStatus, showsTheStatusFileOfAStationFolder) {
    scopedTimeZone tz("UTC");
    tempStation dir;
    stationHealth h;
    h.phase = 3;
    h.syncId = 4;
    h.syncSecond = 1700000000;
    h.resyncSecond = 1700002800;
    h.camera[1].state = 0;
    h.camera[1].reboots = 1;
    h.camera[1].stalls = 2;
    h.camera[1].stalled = true;
    h.resyncs[RESYNC_SILENCE] = 1;
    h.noteMessage({severity::error, errorKind::transferFile, logChannel::messages,
                   "error : unable to process input data transfer file x.b.cam"});
    healthFiles(dir.path()).publish(&h, 1700000100);
    QString out, err;
    EXPECT_EQ(runInspect({"--status", dir.path()}, &out, &err), INSPECT_INTACT)
        << err.toStdString();
    QStringList lines = out.split('\n');
    EXPECT_TRUE(lines[0].endsWith("measurement mode, phase 3 (measurement)")) << out.toStdString();
    EXPECT_TRUE(out.contains("sync         syncId 4 at 2023-11-14T22:13:20Z")) << out.toStdString();
    EXPECT_TRUE(out.contains("camera B     state 0, 0 frames read")) << out.toStdString();
    EXPECT_TRUE(out.contains("resyncs      1 (silence 1); reboots A 0, B 1")) << out.toStdString();
    EXPECT_TRUE(out.contains("share stalls A 0, B 2 (not answering)")) << out.toStdString();
    EXPECT_TRUE(out.contains("errors       transfer_file 1")) << out.toStdString();
    EXPECT_TRUE(out.contains("  error : unable to process input data transfer file x.b.cam"));

    out.clear();
    EXPECT_EQ(runInspect({"--status", dir.file("none")}, &out, &err), INSPECT_DAMAGED);
    dir.write("acquire_kiv.status.json", "{ not json");
    EXPECT_EQ(runInspect({"--status", dir.path()}, &out, &err), INSPECT_DAMAGED);
    EXPECT_EQ(runInspect({"--status", "--json"}, &out, &err), INSPECT_USAGE);
}

// The ages are counted to the present: a file the controller stopped rewriting says so instead
// of showing its old figures as fresh.
TEST(inspectStatus, tellsAStaleOrStoppedStatusFile) {
    scopedTimeZone tz("UTC");
    const int64_t written = 1700000100;
    struct {
        int64_t age;
        bool running;
        const char* expected;
        const char* absent;
    } table[] = {
        {5, true, "(5 s ago, PID ", "STALE"},
        {5, true, "last data 7 s ago", "STOPPED"},
        {3 * 3600, true, "STALE        not rewritten for 3 h", "STOPPED"},
        {3 * 3600, true, "last data 3 h ago", "2 s ago"},
        {5, false, "STOPPED      the controller ended", "STALE"},
    };
    for (const auto& row : table) {
        tempStation dir;
        stationHealth h;
        h.phase = 3;
        h.running = row.running;
        h.camera[0].lastDataTime = written - 2;
        healthFiles(dir.path()).publish(&h, written);
        simulatedClock clock(double(written + row.age));
        scopedStationClock guard(&clock);
        QString out, err;
        ASSERT_EQ(runInspect({"--status", dir.path()}, &out, &err), INSPECT_INTACT);
        EXPECT_TRUE(out.contains(row.expected)) << row.expected << "\n" << out.toStdString();
        EXPECT_FALSE(out.contains(row.absent)) << row.absent << "\n" << out.toStdString();
    }
}
