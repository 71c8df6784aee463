#include "input/videoSnapshot.h"

#include "log/messageLog.h"
#include "platform/fileOps.h"
#include "platform/ownFile.h"
#include "platform/shareFiles.h"
#include "platform/stationClock.h"
#include "platform/stationPath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const char* const DEFAULT_DIRECTORY = "C:\\data\\3sec\\";
const char* const VIDEO_FILE = "video.dat";

// The third and fourth value of a line become video bytes, limited to 255; a negative value
// is no video level, and the file is refused.
bool videoByte(long long value, uint8_t* byte) {
    if (value < 0)
        return false;
    *byte = uint8_t(value > 255 ? 255 : value);
    return true;
}

bool writeSection(FILE* file, const char* label, const char* timeHeader, const uint8_t* line) {
    return std::fprintf(file, "%-20s", label) >= 0 &&
           std::fprintf(file, "%sDATA:\n", timeHeader) >= 0 &&
           std::fwrite(line, 1, VIDEO_LINE_SIZE, file) == size_t(VIDEO_LINE_SIZE);
}

} // namespace

videoSnapshot& videoSnapshot::instance() {
    static videoSnapshot snapshot;
    return snapshot;
}

videoSnapshot::videoSnapshot()
    : m_directory(absoluteDirectory(QString::fromLatin1(DEFAULT_DIRECTORY))) {
    clearAll();
}

bool videoSnapshot::setDirectory(const QString& path) {
    m_failureTold = false;
    return acceptDirectory(path, &m_directory);
}

void videoSnapshot::clearCamera(int camera) {
    if (!isCamera(camFromId(camera)))
        return;
    int i = camera - 1;
    std::memset(m_raw[i], 0, VIDEO_LINE_SIZE);
    std::memset(m_norm[i], 0, VIDEO_LINE_SIZE);
    m_ready[i] = false;
}

void videoSnapshot::clearAll() {
    clearCamera(1);
    clearCamera(2);
}

bool videoSnapshot::readVideoLineFile(const QString& path, int camera) {
    if (!isCamera(camFromId(camera)) || !fileExists(path))
        return false;
    // The camera's file: not a link or FIFO put in its place.
    FILE* file = openRegularFile(path);
    if (!file)
        return false;
    int i = camera - 1;
    // Read into copies: a file that breaks off leaves the camera's lines as they were.
    uint8_t raw[VIDEO_LINE_SIZE];
    uint8_t norm[VIDEO_LINE_SIZE];
    std::memcpy(raw, m_raw[i], VIDEO_LINE_SIZE);
    std::memcpy(norm, m_norm[i], VIDEO_LINE_SIZE);
    unsigned long long first, count;
    bool ok = std::fscanf(file, "%llu %llu", &first, &count) == 2;
    for (unsigned long long n = 0; ok && n < count; ++n) {
        unsigned long long a, b;
        long long rawValue, normValue, c, d;
        ok = std::fscanf(file, "%llu %llu %lli %lli %lli %lli", &a, &b, &rawValue, &normValue, &c,
                         &d) == 6;
        // A file longer than a video line is read and checked to its end; the lines beyond
        // the 1200th have no place in the snapshot.
        uint8_t rawByte, normByte;
        ok = ok && videoByte(rawValue, &rawByte) && videoByte(normValue, &normByte);
        if (ok && n < (unsigned long long)VIDEO_LINE_SIZE) {
            raw[n] = rawByte;
            norm[n] = normByte;
        }
    }
    std::fclose(file);
    if (!ok)
        return false;
    std::memcpy(m_raw[i], raw, VIDEO_LINE_SIZE);
    std::memcpy(m_norm[i], norm, VIDEO_LINE_SIZE);
    m_ready[i] = true;
    if (m_ready[0] && m_ready[1]) {
        writeVideoDat();
        clearAll();
    }
    return true;
}

bool videoSnapshot::writeVideoDat() {
    time_t now = time_t(currentSecond());
    struct tm local;
    localtime_r(&now, &local);
    char timeHeader[64];
    std::strftime(timeHeader, sizeof timeHeader, "Time= %H:%M:%S, %a %b %d, %y", &local);
    QString path = joinPath(m_directory, QLatin1String(VIDEO_FILE));
    const char* removed = nullptr;
    const int error = fillFreshFile(
        path, "wb",
        [&](FILE* file) {
            return writeSection(file, "raw_video_A", timeHeader, m_raw[0]) &&
                   writeSection(file, "raw_video_B", timeHeader, m_raw[1]) &&
                   writeSection(file, "norm_video_A", timeHeader, m_norm[0]) &&
                   writeSection(file, "norm_video_B", timeHeader, m_norm[1]);
        },
        &removed);
    if (removed)
        logWarning(QStringLiteral("warning : video snapshot %1 was %2 -> removed")
                       .arg(path, QLatin1String(removed)));
    if (error != 0 && !m_failureTold)
        logWarning(QStringLiteral("warning : video snapshot %1 not written : %2")
                       .arg(path, refusalText(error)));
    m_failureTold = error != 0;
    return error == 0;
}
