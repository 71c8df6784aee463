#include "app/runReport.h"

#include "platform/serviceNotify.h"
#include "platform/stationClock.h"
#include "status/statusScreen.h"

#include <algorithm>

runReport::runReport(const QString& mode, const QString& datafileDirectory)
    : m_messageListener([this](const logEntry& entry) { m_health.noteMessage(entry); }) {
    m_health.mode = mode;
    m_health.datafileDirectory = datafileDirectory;
}

void runReport::publish(int phase, const handshake& cameras, const datafileWriter& writer,
                        const QString& status) {
    m_health.phase = phase;
    m_health.camera[0].state = cameras.state[0];
    m_health.camera[1].state = cameras.state[1];
    m_health.camera[0].framesWritten = writer.framesWritten(cam::A);
    m_health.camera[1].framesWritten = writer.framesWritten(cam::B);
    m_files.publish(&m_health, currentSecond());
    notifyStatus(status);
}

void runReport::finish() {
    m_health.running = false;
    m_files.publish(&m_health, currentSecond(), true);
}

void runReport::fileProcessed(cameraInput& camera, uint8_t result) {
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
        const std::deque<frameRecord>& frames = camera.queue().frames();
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
