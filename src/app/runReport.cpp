#include "app/runReport.h"

#include "platform/serviceNotify.h"
#include "platform/stationClock.h"
#include "status/statusScreen.h"

#include <algorithm>

runReport::runReport(const QString& mode, stationObjects& station)
    : m_directories(stationDirectories(station)),
      m_messageListener([this](const logEntry& entry) { m_health.noteMessage(entry); }),
      m_duty(this) {
    m_health.mode = mode;
    m_health.datafileDirectory = station.writer->outputDirectory();
}

void runReport::publish(int phase, const handshake& cameras, const datafileWriter& writer,
                        const std::function<QString(const stationHealth&)>& status) {
    const int64_t now = currentSecond();
    m_health.setPhase(phase, now);
    m_health.setCameraState(0, cameras.state[0], now);
    m_health.setCameraState(1, cameras.state[1], now);
    m_directories.lookEvery(monotonicSecond());
    m_health.missingDirectories = m_directories.missing();
    statusScreen::instance().setStateLine(m_health);
    m_health.camera[0].framesWritten = writer.framesWritten(cam::A);
    m_health.camera[1].framesWritten = writer.framesWritten(cam::B);
    m_files.publish(&m_health, now);
    notifyStatus(status(m_health));
}

void runReport::finish() {
    m_health.running = false;
    m_files.publish(&m_health, currentSecond(), true);
}

void runReport::fileProcessed(cameraInput& camera, uint8_t result) {
    // A long drain waits for nothing: the health files are kept fresh between its files.
    if (currentClock().monotonic() >= due())
        perform();
    const handledFile& file = camera.lastFile();
    if (file.name.isEmpty())
        return;
    if (result & PROCESSED_TRANSFER)
        statusScreen::instance().setCameraLine(camera.camera(), file.newRecords, file.size,
                                               file.name);
    cameraHealth& h = m_health.camera[camIndex(camera.camera())];
    ++h.filesProcessed;
    h.lastFileName = file.name;
    h.lastFileSize = file.size;
    h.lastFileTime = currentSecond();
    if (result & PROCESSED_TRANSFER) {
        // The records the file added are the newest of the queue; empty ones carry no image.
        const frameDeque& frames = camera.queue().frames();
        const size_t added = std::min<size_t>(file.newRecords, frames.size());
        for (size_t i = frames.size() - added; i < frames.size(); ++i)
            if (!frames[i].isEmpty)
                ++h.framesRead;
    }
}

void runReport::datafileWritten(const datafileWriter& writer) {
    ++m_health.datafilesWritten;
    m_health.lastDatafile = writer.lastDatafile();
    m_health.lastDatafileInterval = writer.lastInterval();
}

void runReport::pairingDone(int32_t written) {
    statusScreen::instance().setOutputLine(written);
}
