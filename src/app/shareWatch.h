// The watch over both cameras' shares that every run loop keeps: a share that stops answering
// (a call overran its bound) or whose control or input directory goes away (also one that is
// away when the station starts), and its return, each told once with the camera's letter,
// counted in the health and shown there while it lasts. A share that comes back may have
// missed commands, or carried out late ones: the loop that hears of the return of a control
// directory or of an answer starts a handshake under way again, so that every connected
// camera gets cancel and resync anew.
#pragma once

#include "app/stationObjects.h"
#include "status/stationHealth.h"

#include <cstdint>

class shareWatch {
public:
    explicit shareWatch(stationObjects& station) : m_station(station) {}

    // Looks at both shares (a bounded call on each that answers); true when one came back
    // since the last look. The health's stall counts and flags follow.
    bool look(stationHealth* health);

private:
    // True while the camera's share does not answer; `back` is set when it answers again.
    bool watchStall(cam camera, int64_t tick, bool* back);
    // Tells the camera's control or input directory going and coming back, once each way for
    // the camera; true when its control directory came back.
    bool watchReach(cam camera, int64_t tick);

    static constexpr int64_t NOT_AWAY = INT64_MIN;
    stationObjects& m_station;
    // Since when (monotonic second) a camera's control or input directory is out of reach, and
    // since when its share has not answered; NOT_AWAY while all is well.
    int64_t m_lostSince[2] = {NOT_AWAY, NOT_AWAY};
    // The directory told out of reach was the control directory (else the input directory).
    bool m_lostControl[2] = {false, false};
    int64_t m_stalledSince[2] = {NOT_AWAY, NOT_AWAY};
    // The stalls of each share counted so far.
    int64_t m_stalls[2] = {0, 0};
};
