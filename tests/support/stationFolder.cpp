#include "support/stationFolder.h"

#include <QDir>
#include <QFile>

QString makeStationFolder(const QString& root) {
    QDir dir(root);
    QByteArray set;
    const char* const keys[][2] = {
        {"cam_a_input_dir", "cam_a/input"},
        {"cam_a_control_dir", "cam_a/control"},
        {"cam_b_input_dir", "cam_b/input"},
        {"cam_b_control_dir", "cam_b/control"},
        {"temp_dir", "temp"},
        {"log_dir", "log"},
        {"sync_list_dir", "sync"},
        {"norm_vid_dir", "3sec"},
        {"3sec_dir", "3sec"},
    };
    for (const auto& key : keys) {
        dir.mkpath(QLatin1String(key[1]));
        set += QByteArray(key[0]) + ' ' + QFile::encodeName(dir.filePath(key[1])) + '\n';
    }
    const QString config = dir.filePath(QStringLiteral("acquire_kiv.set"));
    writeWhole(config, set);
    return config;
}

QString cameraDir(int camera, const char* which) {
    return (camera == 1 ? QStringLiteral("cam_a/") : QStringLiteral("cam_b/")) +
           QLatin1String(which);
}

bool writeWhole(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}
