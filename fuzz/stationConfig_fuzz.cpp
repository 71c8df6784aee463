// The station configuration file on arbitrary text, applied to the input of camera A or B
// (the first byte chooses) with its sync list, the log directory and the video snapshot.
#include "fuzzSupport.h"

#include "app/stationSetup.h"
#include "input/cameraInput.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static syncListPtr syncs(new syncList());
    static cameraInput inputA(syncs, 1);
    static cameraInput inputB(syncs, 2);
    cameraInput& input = data[0] & 1 ? inputB : inputA;
    const QByteArray path = fuzzNativeFile("acquire_kiv.set", data + 1, size - 1);
    pProcessConfFile(&input, path.constData());
    input.prepareInput();
    return 0;
}
