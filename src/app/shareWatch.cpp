#include "app/shareWatch.h"

#include "log/messageLog.h"
#include "platform/stationClock.h"

namespace {

// The camera's directories as the messages name them.
const QLatin1String CONTROL("control");
const QLatin1String INPUT("input");

} // namespace

bool shareWatch::look(stationHealth* health) {
    const int64_t tick = monotonicSecond();
    bool back = false;
    for (cam camera : BOTH_CAMERAS) {
        const int i = camIndex(camera);
        // Whether a stalled share is reachable cannot be known.
        if (!watchStall(camera, tick, &back))
            back = watchReach(camera, tick) || back;
        health->camera[i].stalls = uint64_t(m_station.share(camera).stalls());
        health->camera[i].stalled = m_stalledSince[i] != NOT_AWAY;
    }
    return back;
}

bool shareWatch::watchReach(cam camera, int64_t tick) {
    const cameraInput& input = m_station.input(camera);
    cameraShare& share = m_station.share(camera);
    const int i = camIndex(camera);
    int64_t& since = m_lostSince[i];
    // The control directory, and the input directory where it is another folder: the camera
    // is away while either cannot be reached, and told as one, by the first that cannot.
    const fileResult<fileInfo> control = share.stat(input.controlDir());
    fileResult<fileInfo> in = control;
    if (!control.unanswered() && input.inputDir() != input.controlDir())
        in = share.stat(input.inputDir());
    // A share that stalls in this very look is told by the next one.
    if (control.unanswered() || in.unanswered())
        return false;
    const bool controlThere = control && control.value.directory;
    const bool inputThere = in && in.value.directory;
    const QChar letter = QLatin1Char(camLetter(camera));
    if ((!controlThere || !inputThere) && since == NOT_AWAY) {
        since = tick;
        m_lostControl[i] = !controlThere;
        const QString which = m_lostControl[i] ? CONTROL : INPUT;
        // A warning: the station rides out a share that comes back by its own rules.
        logWarning(QStringLiteral("warning : camera %1 %2 directory %3 not reachable")
                       .arg(letter)
                       .arg(which)
                       .arg(m_lostControl[i] ? input.controlDir() : input.inputDir()));
    } else if (controlThere && inputThere && since != NOT_AWAY) {
        const QString which = m_lostControl[i] ? CONTROL : INPUT;
        logInfo(QStringLiteral("info : camera %1 %2 directory reachable again after %3 s")
                    .arg(letter)
                    .arg(which)
                    .arg(tick - since));
        since = NOT_AWAY;
        // Commands may have been missed only through the control directory.
        return m_lostControl[i];
    }
    return false;
}

// A stall that came and went since the last look is told too.
bool shareWatch::watchStall(cam camera, int64_t tick, bool* back) {
    const int i = camIndex(camera);
    cameraShare& share = m_station.share(camera);
    const cameraInput& input = m_station.input(camera);
    const bool stalled = share.stalled();
    const int64_t stalls = share.stalls();
    const bool overran = stalls != m_stalls[i];
    m_stalls[i] = stalls;
    int64_t& since = m_stalledSince[i];
    const QChar letter = QLatin1Char(camLetter(camera));
    const int bound = share.boundMs() / 1000;
    if (since == NOT_AWAY && (stalled || overran)) {
        // The call began the bound before it was given up.
        since = tick - bound;
        logWarning(QStringLiteral("warning : camera %1 share not answering: an operation in %2 "
                                  "took longer than %3 s")
                       .arg(letter)
                       .arg(input.controlDir())
                       .arg(bound));
    }
    if (since == NOT_AWAY || stalled)
        return stalled;
    // The call that hung has returned; the share is back once its control directory answers
    // (a bounded call too: a server that still hangs stalls the share again). One that answers
    // with errors is still coming back: the client reconnects for some seconds after a stall.
    const fileResult<fileInfo> dir = share.stat(input.controlDir());
    if (!dir || !dir.value.directory) {
        m_stalls[i] = share.stalls();
        return true;
    }
    logInfo(QStringLiteral("info : camera %1 share answering again after %2 s")
                .arg(letter)
                .arg(tick - since));
    since = NOT_AWAY;
    *back = true;
    return false;
}
