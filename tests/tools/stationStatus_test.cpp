#include "kiv_inspect/inspectCommand.h"
#include "kiv_inspect/stationStatus.h"
#include "status/healthFiles.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

namespace {

const int64_t WRITTEN = 1700000100;

// A measuring station started 90 s before its status file was written, camera B back at the
// start of the handshake since 20 s.
stationHealth measuringStation() {
    stationHealth h;
    h.startTime = WRITTEN - 90;
    h.setPhase(3, WRITTEN - 60);
    h.setCameraState(0, 5, WRITTEN - 60);
    h.setCameraState(1, 5, WRITTEN - 60);
    h.setCameraState(1, 0, WRITTEN - 20);
    h.camera[0].lastDataTime = WRITTEN - 2;
    h.camera[1].lastDataTime = WRITTEN - 2;
    h.lastDatafileInterval = WRITTEN - 6;
    return h;
}

struct inspected {
    int status;
    QString out;
    QString err;
};

// `kiv_inspect --status` of a station folder holding the status file of `h`, read `age`
// seconds after it was written.
inspected statusOf(stationHealth h, int64_t age, const healthSample& sample = healthSample()) {
    tempStation dir;
    h.datafileDirectory.clear();
    healthSample written = sample;
    written.updated = WRITTEN;
    dir.write("acquire_kiv.status.json", renderStatusJson(h, written));
    simulatedClock clock(double(WRITTEN + age));
    scopedStationClock guard(&clock);
    inspected r;
    r.status = runInspect({"--status", dir.path()}, &r.out, &r.err);
    return r;
}

} // namespace

TEST(inspectStatus, showsTheStatusFileOfAStationFolder) {
    scopedTimeZone tz("UTC");
    stationHealth h = measuringStation();
    h.syncId = 4;
    h.syncSecond = 1700000000;
    h.resyncSecond = 1700002800;
    h.camera[1].reboots = 1;
    h.camera[1].stalls = 2;
    h.camera[1].stalled = true;
    h.resyncs[RESYNC_SILENCE] = 1;
    h.noteMessage({severity::error, errorKind::transferFile, logChannel::messages,
                   "error : unable to process input data transfer file x.b.cam"});
    inspected r = statusOf(h, 5);
    EXPECT_EQ(r.status, STATUS_OK) << r.out.toStdString() << r.err.toStdString();
    const std::string out = r.out.toStdString();
    EXPECT_TRUE(r.out.contains("phase        measurement since 2023-11-14 22:14:00 (65 s)")) << out;
    EXPECT_TRUE(r.out.contains("camera A     measuring since 2023-11-14 22:14:00")) << out;
    EXPECT_TRUE(r.out.contains("camera B     disconnected since 2023-11-14 22:14:40 (25 s)"))
        << out;
    EXPECT_TRUE(r.out.contains("sync         syncId 4 at 2023-11-14T22:13:20Z")) << out;
    EXPECT_TRUE(r.out.contains("resyncs      1 (silence 1); reboots A 0, B 1")) << out;
    EXPECT_TRUE(r.out.contains("share stalls A 0, B 2 (not answering)")) << out;
    EXPECT_TRUE(r.out.contains("errors       transfer_file 1")) << out;
    EXPECT_TRUE(r.out.contains("  error : unable to process input data transfer file x.b.cam"));
    EXPECT_FALSE(r.out.contains("ALERT")) << out;

    tempStation dir;
    QString out2, err;
    EXPECT_EQ(runInspect({"--status", dir.file("none")}, &out2, &err), STATUS_UNREADABLE);
    dir.write("acquire_kiv.status.json", "{ not json");
    EXPECT_EQ(runInspect({"--status", dir.path()}, &out2, &err), STATUS_UNREADABLE);
    EXPECT_EQ(runInspect({"--status", "--json"}, &out2, &err), INSPECT_USAGE);
}

// The ages are counted to the present: a file the controller stopped rewriting says so instead
// of showing its old figures as fresh, and a monitoring check sees it in the exit status.
TEST(inspectStatus, tellsAStaleOrStoppedStatusFile) {
    scopedTimeZone tz("UTC");
    struct {
        int64_t age;
        bool running;
        int status;
        const char* expected;
        const char* absent;
    } table[] = {
        {5, true, STATUS_OK, "(5 s ago, PID ", "STALE"},
        {5, true, STATUS_OK, "last data 7 s ago", "STOPPED"},
        {3 * 3600, true, STATUS_ATTENTION, "STALE        not rewritten for 3 h", "STOPPED"},
        {3 * 3600, true, STATUS_ATTENTION, "last data 3 h ago", "ALERT"},
        {5, false, STATUS_ATTENTION, "STOPPED      the controller ended", "STALE"},
    };
    for (const auto& row : table) {
        stationHealth h = measuringStation();
        h.running = row.running;
        inspected r = statusOf(h, row.age);
        EXPECT_EQ(r.status, row.status) << row.expected;
        EXPECT_TRUE(r.out.contains(row.expected)) << row.expected << "\n" << r.out.toStdString();
        EXPECT_FALSE(r.out.contains(row.absent)) << row.absent << "\n" << r.out.toStdString();
    }
}

// What the sample alert rules fire on makes the check fail too, each with its line; a station
// just started is given the rules' time.
TEST(inspectStatus, conditionsOfTheAlertRulesNeedAttention) {
    scopedTimeZone tz("UTC");
    healthSample fullDisk;
    fullDisk.diskFree = 4;
    fullDisk.diskSize = 100;
    healthSample unsynchronised;
    unsynchronised.timeSync = {true, false, 0.5, 16};
    struct {
        const char* what;
        std::function<void(stationHealth*)> change;
        healthSample sample;
        const char* alert; // nullptr: none
    } table[] = {
        {"all well", [](stationHealth*) {}, healthSample(), nullptr},
        {"a directory missing",
         [](stationHealth* h) { h->missingDirectories = QStringList({"log_dir /srv/log"}); },
         healthSample(), "configuration not usable: 1 directory missing: log_dir /srv/log"},
        {"camera B silent for 6 min",
         [](stationHealth* h) {
             h->startTime = WRITTEN - 3600;
             h->camera[1].lastDataTime = WRITTEN - 360;
         },
         healthSample(), "camera B delivered no files for 6 min"},
        {"camera B never delivered, started 4 min ago",
         [](stationHealth* h) {
             h->startTime = WRITTEN - 240;
             h->camera[1].lastDataTime = 0;
         },
         healthSample(), nullptr},
        {"camera B never delivered, started 6 min ago",
         [](stationHealth* h) {
             h->startTime = WRITTEN - 360;
             h->camera[1].lastDataTime = 0;
         },
         healthSample(), "camera B delivered no files for 6 min"},
        {"no datafile for 11 min",
         [](stationHealth* h) {
             h->startTime = WRITTEN - 3600;
             h->lastDatafileInterval = WRITTEN - 660;
         },
         healthSample(), "no datafile for 11 min"},
        {"live video writes no datafiles",
         [](stationHealth* h) {
             h->mode = "livevideo";
             h->startTime = WRITTEN - 3600;
             h->lastDatafileInterval = 0;
             h->camera[0].lastDataTime = h->camera[1].lastDataTime = 0;
         },
         healthSample(), nullptr},
        {"the disk nearly full", [](stationHealth*) {}, fullDisk,
         "the datafile disk has less than 5 % free"},
        {"the clock unsynchronised since the start 5 min ago", [](stationHealth*) {},
         unsynchronised, nullptr},
        {"the clock unsynchronised for an hour",
         [](stationHealth* h) { h->startTime = WRITTEN - 3600; }, unsynchronised,
         "the clock is not synchronised"},
    };
    for (const auto& row : table) {
        stationHealth h = measuringStation();
        row.change(&h);
        inspected r = statusOf(h, 5, row.sample);
        if (!row.alert) {
            EXPECT_EQ(r.status, STATUS_OK) << row.what << "\n" << r.out.toStdString();
            EXPECT_FALSE(r.out.contains("ALERT")) << row.what << "\n" << r.out.toStdString();
            continue;
        }
        EXPECT_EQ(r.status, STATUS_ATTENTION) << row.what;
        EXPECT_TRUE(r.out.contains(QStringLiteral("ALERT        %1\n").arg(row.alert)))
            << row.what << "\n"
            << r.out.toStdString();
    }
}

// A status file of a controller before the states had names still reads, by their numbers.
TEST(inspectStatus, namesTheStatesOfAnOlderStatusFile) {
    tempStation dir;
    dir.write("acquire_kiv.status.json",
              R"({"schema": 2, "mode": "measurement", "phase": 2, "running": true,
                  "cameras": {"A": {"state": 3}, "B": {"state": 4}}})");
    QString out, err;
    runInspect({"--status", dir.path()}, &out, &err);
    EXPECT_TRUE(out.contains("phase        measurement_parameters\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("camera A     normalising\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("camera B     normalised\n")) << out.toStdString();
}
