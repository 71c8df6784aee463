// What a run tells beyond its messages: the health record and its files, the status line of
// the service manager, and the screen's camera and output lines, fed by the input drain and
// by the loop. Both run loops keep one.
#pragma once

#include "app/handshake.h"
#include "app/inputDrain.h"
#include "app/stationDirectories.h"
#include "output/datafileWriter.h"
#include "platform/stationClock.h"
#include "status/healthFiles.h"
#include "status/stationHealth.h"

#include <QString>

#include <functional>

// The health files are its wait duty (platform/stationClock.h): rewritten every
// HEALTH_REFRESH_S seconds also while the loop waits for a share that does not answer.
class runReport : public drainListener, private waitDuty {
public:
    // A run in `mode` ("measurement", "livevideo") of the objects `station`, whose
    // directories it keeps looking at.
    runReport(const QString& mode, stationObjects& station);
    runReport(const runReport&) = delete;
    runReport& operator=(const runReport&) = delete;

    stationHealth& health() { return m_health; }
    const stationHealth& health() const { return m_health; }
    // The run's directories; the start-up report takes the first look.
    directoryWatch& directories() { return m_directories; }

    // Looks at the directories again when it is time, publishes the health with the phase
    // (health numbering), the cameras' states and the frames written, shows the states on the
    // screen, and tells the service manager the line `status` gives for the health.
    void publish(int phase, const handshake& cameras, const datafileWriter& writer,
                 const std::function<QString(const stationHealth&)>& status);
    // The run ended: the last files say that the controller is gone.
    void finish();

    // What the input drain did.
    void fileProcessed(cameraInput& camera, uint8_t result) override;
    void datafileWritten(const datafileWriter& writer) override;
    void datafileLost() override { ++m_health.intervalsLost; }
    void pairingDone(int32_t written) override;

private:
    double due() override { return m_files.nextDue(); }
    // The health as it stands, in the middle of a cycle: no share is asked for it.
    void perform() override { m_files.publish(&m_health, currentSecond(), true); }

    stationHealth m_health;
    directoryWatch m_directories;
    healthFiles m_files;
    scopedLogListener m_messageListener;
    scopedWaitDuty m_duty;
};
