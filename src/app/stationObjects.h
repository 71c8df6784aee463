// The long-lived objects of a run, built once and in this order: the watch of the wall clock,
// the sync list that both camera inputs share (stamping its synchronisations with the watch's
// clock epoch), the input of camera A with the worker of its share, the input of camera
// B with its own, and the datafile writer, all reading the station configuration. They live
// until the run ends, across restarts.
#pragma once

#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "platform/clockStepWatch.h"
#include "platform/shareWorker.h"
#include "sync/syncList.h"

#include <memory>

struct stationObjects {
    explicit stationObjects(const char* configPath);

    // The workers of the camera shares: made with their inputs, declared first so that they
    // outlive them (an input may still use its share while it is torn down).
    std::unique_ptr<shareWorker> shareA;
    std::unique_ptr<shareWorker> shareB;
    // The one detector of steps of the wall clock: the run loop looks through it every cycle.
    clockStepWatch clockWatch;
    syncListPtr syncs;
    std::unique_ptr<cameraInput> cameraA;
    std::unique_ptr<cameraInput> cameraB;
    std::unique_ptr<datafileWriter> writer;
};
