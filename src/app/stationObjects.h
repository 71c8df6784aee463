// The long-lived objects of a run, built once and in this order: the watch of the wall clock,
// the sync list that both camera inputs share (stamping its synchronisations with the watch's
// clock epoch), the shares of camera A and B, the input of camera A on its share, the input
// of camera B on its own, and the datafile writer, all reading the station configuration.
// They live until the run ends, across restarts, and go in the reverse order.
#pragma once

#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "platform/cameraShare.h"
#include "platform/clockStepWatch.h"
#include "sync/syncList.h"

#include <memory>

struct stationObjects {
    explicit stationObjects(const char* configPath);

    // The share of camera A or B.
    cameraShare& share(cam camera) { return camera == cam::B ? shareB : shareA; }
    // The input of camera A or B.
    cameraInput& input(cam camera) { return camera == cam::B ? *cameraB : *cameraA; }

    // The one detector of steps of the wall clock: the run loop looks through it every cycle.
    clockStepWatch clockWatch;
    syncListPtr syncs;
    // Each camera's input and control directories, reached through a worker of their own:
    // made before the inputs and gone after them (an input uses its share up to its end).
    cameraShare shareA;
    cameraShare shareB;
    std::unique_ptr<cameraInput> cameraA;
    std::unique_ptr<cameraInput> cameraB;
    std::unique_ptr<datafileWriter> writer;
};
