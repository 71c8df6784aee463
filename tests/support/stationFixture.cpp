#include "support/stationFixture.h"

#include "format/rleCodec.h"
#include "support/stationFolder.h"
#include "support/transferFiles.h"

#include <QFile>

scriptedCamera::scriptedCamera(const tempStation& dir, int camera)
    : kind(camera), controlDir(dir.file(cameraDir(camera, "control"))),
      inputDir(dir.file(cameraDir(camera, "input"))) {}

QString scriptedCamera::control(const char* name) const {
    return controlDir + "/" + name;
}
QString scriptedCamera::input(const QString& name) const {
    return inputDir + "/" + name;
}
bool scriptedCamera::has(const char* name) const {
    return QFile::exists(control(name));
}

void scriptedCamera::put(const char* name) {
    QFile f(control(name));
    f.open(QIODevice::WriteOnly);
}

void scriptedCamera::take(const char* name) {
    QFile::remove(control(name));
}

bool scriptedCamera::takeParameters(cameraParams* params) {
    if (!has("acquire.par"))
        return false;
    resetCameraParams(params);
    presetCameraSettingsFromConfFile(params, QFile::encodeName(control("acquire.par")).constData());
    take("acquire.par");
    take("request.sync");
    return true;
}

void scriptedCamera::deliver(uint16_t syncId, const std::vector<uint64_t>& lineCounters,
                             uint64_t end) {
    std::vector<frameBytes> frames;
    for (uint64_t counter : lineCounters) {
        frameBytes frame;
        encodeRleFrame({shadowLine{{uint16_t(10 + kind), 4}}}, syncId, counter, &frame);
        frames.push_back(frame);
    }
    writeWhole(
        input(transferName(kind, ++m_files)),
        transferFile(kind, syncId, lineCounters.empty() ? end : lineCounters.front(), frames, end));
}

void scriptedCamera::deliverEmpty(uint16_t syncId, uint64_t end) {
    deliver(syncId, {}, end);
}

stationFixture::stationFixture(double start, const char* zone)
    : tz(zone), clock(start), guard(&clock) {
    makeStationFolder(dir.path());
    a = std::make_unique<scriptedCamera>(dir, 1);
    b = std::make_unique<scriptedCamera>(dir, 2);
    cwd = std::make_unique<scopedWorkingDir>(dir.path());
}

stationFixture::~stationFixture() = default;
