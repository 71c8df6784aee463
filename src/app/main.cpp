// acquire_kiv: the acquisition controller of the precipitation measuring station.
#include "app/commandLine.h"
#include "platform/console.h"
#include "platform/instanceLock.h"
#include "platform/stopSignal.h"
#include "status/statusScreen.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The modes that work in the station folder take its lock; "--stop" and "--reboot" end at
// once and touch nothing.
bool needsStationLock(int mode) {
    return mode == MODE_MEASUREMENT || mode == MODE_LIVEVIDEO || mode == MODE_NORMVIDEO;
}

// One controller per station folder: a second copy says so and ends before it touches any
// file of the station.
bool lockStation() {
    long holder = 0;
    if (acquireInstanceLock(INSTANCE_LOCK_PATH, &holder))
        return true;
    if (holder > 0)
        std::fprintf(stderr, "acquire_kiv: already running (PID %ld)\n", holder);
    else if (holder == 0) // the other copy holds the lock but has not written its PID yet
        std::fprintf(stderr, "acquire_kiv: already running (its PID not written yet)\n");
    else if (holder == INSTANCE_LOCK_NOT_OWN)
        std::fprintf(stderr,
                     "acquire_kiv: %s is no plain file of its own (a link, a file with a second "
                     "name, a FIFO or a directory): not started; remove it\n",
                     INSTANCE_LOCK_PATH);
    else
        std::fprintf(stderr, "acquire_kiv: unable to lock %s: %s\n", INSTANCE_LOCK_PATH,
                     std::strerror(errno));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    installStopHandlers();
    commandLine options = parseCommandLine(argc, argv);
    if (printInformation(options))
        return 0;
    if (needsStationLock(options.mode) && !lockStation())
        return 1;
    // The screen is drawn before the mode does anything.
    statusScreen::instance();
    int status = runMode(options, stationRunners());
    restoreConsole();
    return status;
}
