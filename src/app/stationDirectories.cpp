#include "app/stationDirectories.h"

#include "input/logDirectory.h"
#include "input/videoSnapshot.h"
#include "log/messageLog.h"
#include "platform/fileOps.h"

std::vector<stationDirectory> stationDirectories(stationObjects& station) {
    cameraShare* a = &station.share(cam::A);
    cameraShare* b = &station.share(cam::B);
    return {
        {"cam_a_input_dir", "camera A input directory", station.cameraA->inputDir(), a},
        {"cam_a_control_dir", "camera A control directory", station.cameraA->controlDir(), a},
        {"cam_b_input_dir", "camera B input directory", station.cameraB->inputDir(), b},
        {"cam_b_control_dir", "camera B control directory", station.cameraB->controlDir(), b},
        {"temp_dir", "working directory", station.cameraA->workDir(), nullptr},
        {"3sec_dir", "datafile directory", station.writer->outputDirectory(), nullptr},
        {"sync_list_dir", "sync list directory", station.syncs->directory(), nullptr},
        {"log_dir", "log directory", logDirectory::instance()->path(), nullptr},
        {"norm_vid_dir", "video snapshot directory", videoSnapshot::instance().directory(),
         nullptr},
    };
}

directoryWatch::directoryWatch(std::vector<stationDirectory> directories)
    : m_directories(std::move(directories)), m_present(m_directories.size(), true),
      m_told(m_directories.size(), false) {}

void directoryWatch::look() {
    m_missing.clear();
    for (size_t i = 0; i < m_directories.size(); ++i) {
        const stationDirectory& d = m_directories[i];
        const QLatin1String role(d.role);
        if (d.share) {
            const fileResult<fileInfo> found = d.share->stat(d.path);
            if (!found.unanswered())
                m_present[i] = found.done() && found.value.directory;
        } else {
            m_present[i] = directoryExists(d.path);
        }
        if (!m_present[i])
            m_missing << QStringLiteral("%1 %2").arg(QLatin1String(d.key), d.path);
        // A camera's directories are its share's: the share watch tells them going and coming
        // back, once for the camera.
        if (d.share)
            continue;
        if (!m_present[i] && !m_looked) {
            logError(errorKind::configuration,
                     QStringLiteral("error : %1 %2 does not exist").arg(role, d.path));
            m_told[i] = true;
        } else if (m_present[i] && m_told[i]) {
            logInfo(QStringLiteral("info : %1 %2 exists now").arg(role, d.path));
            m_told[i] = false;
        }
    }
    m_looked = true;
}

void directoryWatch::lookEvery(int64_t tick) {
    if (m_looked && tick - m_lastLook < DIRECTORY_LOOK_S)
        return;
    m_lastLook = tick;
    look();
}

QString missingDirectoriesText(const QStringList& missing) {
    return QStringLiteral("%1 %2 missing: %3")
        .arg(missing.size())
        .arg(QLatin1String(missing.size() == 1 ? "directory" : "directories"))
        .arg(missing.join(QStringLiteral(", ")));
}
