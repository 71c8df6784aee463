// The video snapshot: one raw and one normalised video line of each camera, taken from the
// norm-video files the cameras deliver after normalisation, and written together as
// "video.dat" once both cameras' lines are in.
#pragma once

#include "config/camera.h"

#include <QString>

#include <cstdint>

// Bytes of one video line.
const int VIDEO_LINE_SIZE = 1200;

class videoSnapshot {
public:
    // The process-wide snapshot, shared by both cameras.
    static videoSnapshot& instance();

    videoSnapshot();
    // Takes `path` when that directory exists (made absolute); false keeps the old one.
    bool setDirectory(const QString& path);
    const QString& directory() const { return m_directory; }

    // Zeroes the two lines and the ready flag of camera 1 or 2.
    void clearCamera(int camera);
    void clearAll();

    // Reads the norm-video file of camera 1 or 2 into that camera's lines. On success the
    // camera is ready, and once both are, "video.dat" is written and everything cleared. A file
    // that cannot be read completely changes nothing.
    bool readVideoLineFile(const QString& path, int camera);

    // Writes "video.dat" from the current lines, as a new file: whatever stands under the name
    // is removed first (a link itself, never its target), and told. A failure is told once,
    // until a write succeeds or the directory is set again.
    bool writeVideoDat();

    const uint8_t* rawLine(int camera) const { return m_raw[camIndex(camFromId(camera))]; }
    const uint8_t* normLine(int camera) const { return m_norm[camIndex(camFromId(camera))]; }
    bool ready(int camera) const { return m_ready[camIndex(camFromId(camera))]; }

private:
    QString m_directory;
    uint8_t m_raw[2][VIDEO_LINE_SIZE];
    uint8_t m_norm[2][VIDEO_LINE_SIZE];
    bool m_ready[2];
    bool m_failureTold = false;
};
