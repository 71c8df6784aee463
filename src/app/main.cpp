// acquire_kiv: the acquisition controller of the precipitation measuring station.
#include "app/commandLine.h"
#include "platform/console.h"
#include "platform/stopSignal.h"
#include "status/statusScreen.h"

int main(int argc, char** argv) {
    installStopHandlers();
    // The screen is drawn before any argument is looked at, whatever the mode.
    statusScreen::instance();
    commandLine options = parseCommandLine(argc, argv);
    int status = runMode(options, stationRunners());
    restoreConsole();
    return status;
}
