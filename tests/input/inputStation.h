// The camera input tests' fixture: the one station harness (support/stationFixture.h: the
// station folder as the working directory, a simulated clock in UTC), the sync list the
// inputs share, and transfer files of one frame.
#pragma once

#include "app/stationSetup.h"
#include "format/rleCodec.h"
#include "input/cameraInput.h"
#include "input/videoSnapshot.h"
#include "platform/stationPath.h"
#include "support/stationFixture.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"
#include "support/transferFiles.h"
#include "sync/timeConv.h"

#include <QDir>

#include <gtest/gtest.h>
#include <memory>

struct inputStation : ::testing::Test {
    static constexpr double DAY = 1700006400.0; // a UTC midnight

    inputStation()
        : station(DAY + 1000.0), dir(station.dir), clock(station.clock), syncs(new syncList()) {}
    // The input of camera `kind`, on `share` when one is given (it must outlive the input).
    std::unique_ptr<cameraInput> camera(uint32_t kind, cameraShare* share = nullptr) {
        return makeCameraInput(syncs, kind, "./acquire_kiv.set", share);
    }
    // Today's daily log of camera `kind`.
    QByteArray dailyLog(int kind) const {
        return dir.read("log/" + localDayStem(currentSecond()) + (kind == 1 ? ".a.log" : ".b.log"));
    }
    // A transfer file of camera `kind` with one frame of `lines` lines starting at
    // `lineCounter` of the current synchronisation.
    QByteArray transfer(int kind, uint64_t lineCounter, int lines) const {
        std::vector<shadowLine> content(size_t(lines), shadowLine{{100, 3}});
        frameBytes frame;
        EXPECT_EQ(encodeRleFrame(content, syncs->currentSyncId(), lineCounter, &frame), 0);
        return transferFile(kind, syncs->currentSyncId(), lineCounter, {frame},
                            lineCounter + uint64_t(lines));
    }

    stationFixture station;
    const tempStation& dir;
    simulatedClock& clock;
    syncListPtr syncs;
    messageCapture log;
};
