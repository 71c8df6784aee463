// A station folder with the real acquire_kiv and the camera simulator running in it, for the
// end-to-end tests: start and stop the processes, wait for what they write, and read back
// their message lines, the frames the simulator wrote and the datafiles.
#pragma once

#include "support/testSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

// One frame as the simulator logged it, or as a datafile holds it.
struct e2eFrame {
    char camera;          // 'A' or 'B'
    uint16_t syncId;      // simulator only
    uint64_t lineCounter; // simulator only
    uint32_t numLines;
    uint64_t hash;       // of the run-length payload
    double linePosition; // datafile only
};

// The whole file at `path`, empty when it does not read.
QByteArray tempStationRead(const QString& path);

// The clock the station runs on in a test: the real one, or one faked from a given moment
// (startStation's `fakeTime`).
enum class e2eClock { real, faked };

class e2eStation {
public:
    // On the real clock, waits first until the next full hour is out of a test's reach.
    explicit e2eStation(e2eClock clock = e2eClock::real);
    ~e2eStation();

    QString path(const QString& relative = QString()) const { return m_dir.file(relative); }
    // Starts both simulated cameras (ended with the test program at the latest) with `extra`
    // options (frame log and copies of the parameter files are always on).
    void startCameras(const QStringList& extra = QStringList());
    // The folders (each with input/ and control/) in which the simulator plays cameras A and
    // B from now on, instead of the station folder's cam_a and cam_b: a camera computer's own
    // disk, while the station reaches it another way.
    void useCameraFolders(const QString& a, const QString& b) { m_cameraFolders = {a, b}; }
    // The time zone acquire_kiv runs in from its next start on (UTC unless told).
    void useTimeZone(const QString& zone) { m_zone = zone; }
    // Starts acquire_kiv with `args`; with `fakeTime` ("@2026-12-08 10:59:20") its clock is
    // faked from that moment on; with "file:PATH" its wall clock is the real one moved by the
    // offset in PATH ("+0", "-3600"), read anew at every call. The process ends with the test
    // program at the latest. Its output is appended to "station.log" and "station.err", so a
    // restarted station adds to what the earlier ones wrote.
    void startStation(const QStringList& args = QStringList(), const QString& fakeTime = QString());
    // The command a camera that did not fall silent gets at a resync on the real clock:
    // "resync", but "reboot" in the last hour of the local day, whose resync is the day's end.
    QString resyncCommand() const {
        return m_lastHourOfDay ? QStringLiteral("reboot") : QStringLiteral("resync");
    }
    // The PID of the running acquire_kiv (0 when none runs).
    qint64 stationPid() const;
    // Ends acquire_kiv with SIGKILL, as a power cut would, and waits until it is gone.
    void killStation();
    // Polls `done` every 100 ms for at most `seconds`.
    bool waitFor(const std::function<bool()>& done, double seconds);
    // Sends SIGTERM and waits; the exit code (-1 when it had to be killed or crashed).
    int stopStation();
    // Waits for acquire_kiv to end by itself; the exit code, -1 on a time-out or crash.
    int waitStationExit(double seconds);
    void stopCameras();

    // The station's message lines without their time stamps.
    QStringList messages() const;
    bool hasMessage(const QString& text) const { return messages().contains(text); }
    QString cameraLog() const;
    // Final datafile names in the datafile directory, sorted.
    QStringList datafiles() const;
    // Every final datafile, in the datafile directory and in its "repeated" folder (the
    // intervals whose usual name was taken), as paths relative to the station folder.
    QStringList datafilePaths() const;
    // Frames the simulator wrote, in the order it wrote them.
    std::vector<e2eFrame> simulatorFrames() const;
    // Frames in the datafiles (both folders), in file and entry order; false when a datafile
    // does not read.
    bool datafileFrames(std::vector<e2eFrame>* frames, QString* problem) const;
    // True once a datafile holds a frame of `camera` ('A' or 'B').
    bool hasWrittenFramesOf(char camera) const;
    // A run of one synchronisation: every datafile reads, and for each camera its frames are
    // the simulator's first ones in order, byte for byte and placed at their line counter,
    // with none missing before the end of the last datafile's interval.
    ::testing::AssertionResult everyFrameOfCompletedIntervals() const;
    // A run across resyncs and restarts: every datafile reads, and every frame in them is one
    // the simulator sent, none in two places; `written` receives how many there are.
    ::testing::AssertionResult onlySentFramesOnce(size_t* written = nullptr) const;
    // A run across resyncs, reboots and summer-time switches: as onlySentFramesOnce(), and of
    // every synchronisation of each camera the frames sent are written without a gap. Missing
    // may be only its first frames within a few seconds of the sync (pairing drops frames of a
    // new synchronisation that lie in the last interval of the one before), and the last
    // synchronisation's last frames (still waiting when the station stopped), and those of the
    // syncIds `cutByRestart` (made by a run that was stopped: a restart refuses their files).
    ::testing::AssertionResult
    everyFrameOnceWithoutGaps(size_t* written = nullptr,
                              const std::set<uint16_t>& cutByRestart = {}) const;

private:
    // Marks in `written` (one flag per frame of `sent`) the frame each datafile frame is.
    ::testing::AssertionResult matchSentFrames(const std::vector<e2eFrame>& sent,
                                               std::vector<bool>* written) const;

    tempStation m_dir;
    QString m_zone = QStringLiteral("UTC");
    bool m_lastHourOfDay = false;
    std::unique_ptr<QProcess> m_station;
    std::unique_ptr<QProcess> m_cameras;
    QStringList m_cameraFolders;
};
