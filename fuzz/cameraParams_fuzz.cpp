// The camera parameter reader on arbitrary files. Whatever record it fills is written in the
// parameter file format and read again, twice: the last two texts must be the same, or a
// camera computer reading our "acquire.par" would not see what the station meant.
#include "fuzzSupport.h"

#include "config/cameraParams.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

// The record as a parameter file at `path`; empty when it could not be written.
QByteArray writeAndRead(const cameraParams& params, const QString& path) {
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "w");
    if (!out)
        return QByteArray();
    int result = writeCameraParams(out, &params);
    std::fclose(out);
    QFile file(path);
    if (result != 0 || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray path = fuzzNativeFile("acquire.par", data, size);
    cameraParams params;
    resetCameraParams(&params);
    presetCameraSettingsFromConfFile(&params, path.constData());
    minimumVideoLevel(&params);
    cameraParams committed = params;
    commitCameraSettingsPreset(&committed, int32_t(FUZZ_NOW));

    // Reading normalises a few values (AUTO is taken as NORMALISATION, say), so the text is
    // compared once it went through the reader: from then on it must stay the same.
    const QString written = fuzzScratchDir() + QStringLiteral("/written.par");
    QByteArray text = writeAndRead(params, written);
    QByteArray previous;
    for (int round = 0; round < 2 && !text.isEmpty(); ++round) {
        cameraParams again;
        resetCameraParams(&again);
        presetCameraSettingsFromConfFile(&again, QFile::encodeName(written).constData());
        previous = text;
        text = writeAndRead(again, written);
    }
    if (!previous.isEmpty() && text != previous)
        std::abort();
    return 0;
}
