#include "app/videoLoop.h"

#include "status/statusScreen.h"

// Placeholder until the video-mode loop is built.
int runVideoLoop() {
    logMessage(QStringLiteral("error : video run loop is not built yet"));
    return 1;
}
