// A whole station in one process on the simulated clock: the measurement loop of acquire_kiv
// and two camera simulators on the folders of a stationFixture, run together step by step so
// that minutes of station time pass in a moment; plus the account of every frame the cameras
// wrote: in a datafile, still queued in the station, or lost.
#pragma once

#include "app/measurementLoop.h"
#include "cameraSimulator.h"
#include "frameLog.h"
#include "support/stationFixture.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct frameAccount {
    int sent = 0;        // frames the cameras wrote into their transfer files
    int unplaceable = 0; // of those, frames whose syncId the station does not know
    int waiting = 0;     // frames whose transfer file waits in the input or working directory
    int written = 0;     // frames found in a datafile
    int held = 0;        // frames still queued in the station (not lost: they wait for pairing)
    // Frames of a new synchronisation that pairing dropped because the interval of the frame
    // paired before them (of the earlier synchronisation) had not ended where they begin: the
    // station's own rule for the moment of a resync.
    int droppedAtResync = 0;
    int lost = 0;       // frames sent, placeable, and neither waiting, written, held nor dropped
    int duplicated = 0; // frames found a second time in the datafiles
    int foreign = 0;    // datafile frames that no camera sent
    int datafiles = 0;
    int damaged = 0;                    // datafiles that do not read back
    std::vector<std::string> firstLost; // "A <syncId> <lineCounter>" of the first few lost
};

class simulatedStation {
public:
    // A station at `start` (UTC seconds) in the time zone `zone`; `tune` may change the
    // simulators' settings (both cameras: look at `camera`) before they are made, and
    // `beforeStart` the station folder before the controller starts in it.
    explicit simulatedStation(double start,
                              const std::function<void(simulatorSettings&)>& tune = nullptr,
                              const char* zone = "UTC",
                              const std::function<void(stationFixture&)>& beforeStart = nullptr);
    ~simulatedStation();

    // One step: both cameras look at their directories, then the loop runs one cycle; a cycle
    // that did not sleep moves the clock on by 50 ms.
    void step();
    // Steps until `seconds` of station time have passed.
    void run(double seconds);
    // Steps until `done` holds; false when `seconds` of station time passed first.
    bool runUntil(const std::function<bool()>& done, double seconds);
    bool measuring() const;

    frameAccount account() const;
    // How many of the frames the cameras sent belong to the datafiles named `names`.
    int sentFramesIn(const QSet<QString>& names) const;
    // How many messages equal `text`, and how many begin with `prefix`.
    int count(const QString& text) const;
    int countStarting(const QString& prefix) const;
    QString tail(int lines = 20) const; // the newest messages, for failure output

    stationFixture fixture;
    messageCapture log;
    frameLog frames;
    std::unique_ptr<cameraSimulator> cameraA;
    std::unique_ptr<cameraSimulator> cameraB;
    std::unique_ptr<measurementLoop> loop;
};

std::ostream& operator<<(std::ostream& out, const frameAccount& a);

// Starts the station and lets it measure for `seconds`.
void measureFor(simulatedStation& s, double seconds);
// The frames of everything sent up to now are written or wait in the station; nothing is
// lost, doubled or invented, and every datafile reads back.
void expectNoFrameLost(const simulatedStation& s);
// A name that sorts among the camera's own files at the current station time.
QString nameAtNow(simulatedStation& s, const char* suffix);
