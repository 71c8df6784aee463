#include "app/measurementLoop.h"

#include "status/statusScreen.h"

// Placeholder until the measurement loop is built.
int runMeasurementLoop(bool) {
    logMessage(QStringLiteral("error : measurement run loop is not built yet"));
    return 1;
}
