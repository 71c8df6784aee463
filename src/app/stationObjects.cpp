#include "app/stationObjects.h"

#include "app/stationSetup.h"

stationObjects::stationObjects(const char* configPath)
    : syncs(new syncList()), cameraA(makeCameraInput(syncs, 1, configPath)),
      cameraB(makeCameraInput(syncs, 2, configPath)),
      writer(std::make_unique<datafileWriter>(configPath)) {}
