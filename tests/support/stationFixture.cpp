#include "support/stationFixture.h"

#include "format/rleCodec.h"

#include <QFile>

scriptedCamera::scriptedCamera(const tempStation& dir, const QString& letter)
    : kind(letter == "a" ? 1 : 2), controlDir(dir.mkdir("ctl_" + letter)),
      inputDir(dir.mkdir("in_" + letter)) {}

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
    cameraParams p;
    resetCameraParams(&p);
    p.cameraId = kind;
    QFile f(input(QStringLiteral("%1.%2.cam")
                      .arg(++m_files, 6, 10, QLatin1Char('0'))
                      .arg(kind == 1 ? 'a' : 'b')));
    f.open(QIODevice::WriteOnly);
    f.write(buildTransferFile(p, syncId, lineCounters.empty() ? end : lineCounters.front(), frames,
                              syncId, end));
}

void scriptedCamera::deliverEmpty(uint16_t syncId, uint64_t end) {
    deliver(syncId, {}, end);
}

stationFixture::stationFixture(double start) : tz("UTC"), clock(start), guard(&clock) {
    a = std::make_unique<scriptedCamera>(dir, "a");
    b = std::make_unique<scriptedCamera>(dir, "b");
    QByteArray set;
    set += "cam_a_input_dir " + a->inputDir.toLocal8Bit() + "\n";
    set += "cam_a_control_dir " + a->controlDir.toLocal8Bit() + "\n";
    set += "cam_b_input_dir " + b->inputDir.toLocal8Bit() + "\n";
    set += "cam_b_control_dir " + b->controlDir.toLocal8Bit() + "\n";
    set += "temp_dir " + dir.mkdir("temp").toLocal8Bit() + "\n";
    set += "log_dir " + dir.mkdir("log").toLocal8Bit() + "\n";
    set += "sync_list_dir " + dir.mkdir("sync").toLocal8Bit() + "\n";
    set += "norm_vid_dir " + dir.mkdir("3sec").toLocal8Bit() + "\n";
    set += "3sec_dir " + dir.file("3sec").toLocal8Bit() + "\n";
    dir.write("acquire_kiv.set", set);
    cwd = std::make_unique<scopedWorkingDir>(dir.path());
}

stationFixture::~stationFixture() = default;
