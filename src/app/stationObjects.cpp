#include "app/stationObjects.h"

#include "app/stationSetup.h"

namespace {

syncListPtr followingClock(const clockStepWatch& watch) {
    syncListPtr syncs(new syncList());
    syncs->followClock(&watch);
    return syncs;
}

} // namespace

stationObjects::stationObjects(const char* configPath)
    : syncs(followingClock(clockWatch)), shareA(SHARE_CALL_BOUND_MS), shareB(SHARE_CALL_BOUND_MS),
      cameraA(makeCameraInput(syncs, 1, configPath, &shareA)),
      cameraB(makeCameraInput(syncs, 2, configPath, &shareB)),
      writer(std::make_unique<datafileWriter>(configPath)) {}
