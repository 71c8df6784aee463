// A station folder for the camera input tests: input, control and working directories of
// both cameras, log, sync list and video directories named in "./acquire_kiv.set", a simulated
// clock in UTC, and transfer files made the way a camera computer makes them.
#pragma once

#include "app/stationSetup.h"
#include "format/rleCodec.h"
#include "format/transferWriter.h"
#include "input/cameraInput.h"
#include "input/videoSnapshot.h"
#include "platform/stationPath.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "sync/timeConv.h"

#include <QDir>

#include <gtest/gtest.h>
#include <memory>

struct inputStation : ::testing::Test {
    static constexpr double DAY = 1700006400.0; // a UTC midnight

    inputStation()
        : tz("UTC"), clock(DAY + 1000.0), guard(&clock), cwd(dir.path()), syncs(new syncList()) {
        for (const char* sub : {"in/a", "in/b", "ctl/a", "ctl/b", "work", "log", "sync", "video"})
            dir.mkdir(sub);
        dir.write("acquire_kiv.set", "cam_a_input_dir in\\a\ncam_a_control_dir ctl\\a\n"
                                     "cam_b_input_dir in\\b\ncam_b_control_dir ctl\\b\n"
                                     "temp_dir work\nlog_dir log\nsync_list_dir sync\n"
                                     "norm_vid_dir video\n");
    }
    std::unique_ptr<cameraInput> camera(uint32_t kind) {
        return makeCameraInput(syncs, kind, "./acquire_kiv.set");
    }
    // Today's daily log of camera `kind`.
    QByteArray dailyLog(int kind) const {
        return dir.read("log/" + localDayStem(currentSecond()) + (kind == 1 ? ".a.log" : ".b.log"));
    }
    // A transfer file of camera `kind` with one frame of `lines` lines starting at
    // `lineCounter` of the current synchronisation.
    QByteArray transfer(int kind, uint64_t lineCounter, int lines) const {
        cameraParams params;
        resetCameraParams(&params);
        params.cameraId = kind;
        std::vector<shadowLine> content(size_t(lines), shadowLine{{100, 3}});
        frameBytes frame;
        EXPECT_EQ(encodeRleFrame(content, syncs->currentSyncId(), lineCounter, &frame), 0);
        return buildTransferFile(params, syncs->currentSyncId(), lineCounter, {frame},
                                 syncs->currentSyncId(), lineCounter + uint64_t(lines));
    }

    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    tempStation dir;
    scopedWorkingDir cwd;
    syncListPtr syncs;
    messageCapture log;
};
