// The long-lived objects of a run, built once and in this order: the sync list that both
// camera inputs share, the input of camera A, the input of camera B, and the datafile writer,
// all reading the station configuration. They live until the run ends, across restarts.
#pragma once

#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "sync/syncList.h"

#include <memory>

struct stationObjects {
    explicit stationObjects(const char* configPath);

    syncListPtr syncs;
    std::unique_ptr<cameraInput> cameraA;
    std::unique_ptr<cameraInput> cameraB;
    std::unique_ptr<datafileWriter> writer;
};
