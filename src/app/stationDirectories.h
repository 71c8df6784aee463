// The directories a run works in, each named by its key in the station configuration. While
// one of them is missing the station cannot work as configured: the start-up report names it,
// and the run loops keep looking, tell when one goes or comes back, and show the missing ones
// to the service manager and in the health files.
#pragma once

#include "app/stationObjects.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

struct stationDirectory {
    const char* key;    // "cam_a_input_dir"
    const char* role;   // "camera A input directory", as the messages name it
    QString path;       // the directory in force
    cameraShare* share; // the camera share it lies on, whose calls are bounded; null: the
                        // station's own disk
};

// The run's directories in the order of the start-up report.
std::vector<stationDirectory> stationDirectories(stationObjects& station);

// How often the run loops look for the directories again (seconds of the monotonic clock).
const int64_t DIRECTORY_LOOK_S = 10;

class directoryWatch {
public:
    explicit directoryWatch(std::vector<stationDirectory> directories);
    // Looks whether each directory exists. The first look tells every missing one of the
    // station's own ("error : %1 %2 does not exist"), a later one each of those that came back.
    // A camera's directories are listed but not told: the share watch tells a share that is
    // away (also at the start) and its return, once for the camera; a share that does not
    // answer leaves its directories as they were at the last look. One that goes missing during
    // the run is not told here: it shows as the errors of what cannot be written there.
    void look();
    // look(), at most once per DIRECTORY_LOOK_S seconds of `tick`.
    void lookEvery(int64_t tick);
    // "<key> <path>" of every directory missing at the last look.
    const QStringList& missing() const { return m_missing; }

private:
    std::vector<stationDirectory> m_directories;
    std::vector<bool> m_present; // there at the last look that had an answer
    std::vector<bool> m_told;    // told missing, not yet back
    QStringList m_missing;
    bool m_looked = false;
    int64_t m_lastLook = 0;
};

// What the service manager's status line says of missing directories: "2 directories missing:
// log_dir /srv/log, sync_list_dir /srv/sync".
QString missingDirectoriesText(const QStringList& missing);
