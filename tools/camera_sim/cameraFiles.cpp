#include "cameraFiles.h"

#include "platform/fileOps.h"

#include <QDir>

#include <cmath>
#include <cstdio>
#include <ctime>

const char* const CAMERA_TEMP_SUFFIX = ".tmp";

bool writeFileAtomically(const QString& dir, const QString& name, const QByteArray& bytes) {
    QString path = QDir(dir).filePath(name);
    if (fileExists(path))
        return false;
    QString temp = path + QLatin1String(CAMERA_TEMP_SUFFIX);
    FILE* file = openFile(temp, "wb");
    if (!file)
        return false;
    bool written =
        writeFile(file, bytes.constData(), size_t(bytes.size()), temp) == size_t(bytes.size());
    if (fclose(file) != 0)
        written = false;
    if (written && renameNoReplace(temp, path))
        return true;
    removeFile(temp);
    return false;
}

QString timeStampName(long long microseconds) {
    return QStringLiteral("%1").arg(microseconds, 16, 10, QLatin1Char('0'));
}

char cameraLetter(int camera) {
    return camera == CAM_B ? 'B' : 'A';
}

QString cameraSuffix(int camera) {
    return camera == CAM_B ? QStringLiteral(".b.cam") : QStringLiteral(".a.cam");
}

QByteArray normVideoText(const cameraParams& params, std::mt19937_64& random) {
    std::uniform_int_distribution<int> noise(-3, 3);
    int level = params.normVideoLevel;
    int offset = params.cameraId == CAM_B ? params.camB.offset : params.camA.offset;
    QByteArray text = QByteArray::number(level) + ' ' + QByteArray::number(NORM_VIDEO_LINES) + '\n';
    char line[96];
    for (int pixel = 0; pixel < NORM_VIDEO_LINES; ++pixel) {
        // The lamp lights the middle of the sensor best.
        double across = (pixel - NORM_VIDEO_LINES / 2.0) / (NORM_VIDEO_LINES / 2.0);
        int raw = int(std::lround(60.0 + 170.0 * std::exp(-1.5 * across * across))) + noise(random);
        raw = raw < 1 ? 1 : raw > 255 ? 255 : raw;
        int normalised = level + noise(random) / 2;
        normalised = normalised < 0 ? 0 : normalised > 255 ? 255 : normalised;
        bool inWindow =
            uint32_t(pixel) >= params.left && uint32_t(pixel) < params.left + params.width;
        snprintf(line, sizeof line, "%u %u %i %i %i %i\n", unsigned(pixel), inWindow ? 1u : 0u, raw,
                 normalised, normalised * 100 / raw, offset);
        text += line;
    }
    return text;
}

QString utcTimeText(double seconds) {
    time_t whole = time_t(std::floor(seconds));
    int millis = int((seconds - std::floor(seconds)) * 1000.0);
    struct tm parts;
    gmtime_r(&whole, &parts);
    char text[40];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return QString::asprintf("%s.%03d", text, millis);
}
