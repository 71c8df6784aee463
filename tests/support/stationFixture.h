// A station for run-loop tests: the station folder (stationFolder.h) as the working
// directory, and a simulated clock; plus a scripted camera that answers the control files
// the way a camera computer does.
#pragma once

#include "config/cameraParams.h"
#include "platform/stationClock.h"
#include "support/testSupport.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class scriptedCamera {
public:
    // Camera 1 or 2 of the station folder `dir`.
    scriptedCamera(const tempStation& dir, int camera);
    QString control(const char* name) const;
    QString input(const QString& name) const;
    bool has(const char* name) const;
    void put(const char* name);
    void take(const char* name);
    // Reads and removes "acquire.par" (and "request.sync"); false when none is there.
    bool takeParameters(cameraParams* params);
    // Writes a transfer file with one frame per entry of `lineCounters`.
    void deliver(uint16_t syncId, const std::vector<uint64_t>& lineCounters, uint64_t end);
    // Writes a transfer file without frames.
    void deliverEmpty(uint16_t syncId, uint64_t end);

    int kind;
    QString controlDir;
    QString inputDir;

private:
    int m_files = 0;
};

struct stationFixture {
    // A station folder at `start` (UTC seconds) in the time zone `zone`.
    explicit stationFixture(double start, const char* zone = "UTC");
    ~stationFixture();

    tempStation dir;
    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    std::unique_ptr<scopedWorkingDir> cwd;
    std::unique_ptr<scriptedCamera> a;
    std::unique_ptr<scriptedCamera> b;
};
