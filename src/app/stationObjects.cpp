#include "app/stationObjects.h"

#include "app/stationSetup.h"

stationObjects::stationObjects(const char* configPath)
    : syncs(new syncList()), cameraA(makeCameraInput(syncs, 1, configPath, &shareA)),
      cameraB(makeCameraInput(syncs, 2, configPath, &shareB)),
      writer(std::make_unique<datafileWriter>(configPath)) {}
