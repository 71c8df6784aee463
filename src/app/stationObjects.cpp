#include "app/stationObjects.h"

stationObjects::stationObjects(const char* configPath)
    : syncs(new syncList()), cameraA(std::make_unique<cameraInput>(syncs, 1, configPath)),
      cameraB(std::make_unique<cameraInput>(syncs, 2, configPath)),
      writer(std::make_unique<datafileWriter>(configPath)) {}
