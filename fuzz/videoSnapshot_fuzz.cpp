// The norm-video reader on arbitrary files, alternating between camera A and camera B as the
// first byte says, so that "video.dat" is written (into the scratch directory) whenever both
// cameras' lines are in.
#include "fuzzSupport.h"

#include "input/videoSnapshot.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static videoSnapshot* snapshot = [] {
        videoSnapshot* s = new videoSnapshot();
        s->setDirectory(fuzzScratchDir());
        return s;
    }();
    int camera = 1 + (data[0] & 1);
    uint8_t raw[VIDEO_LINE_SIZE];
    std::memcpy(raw, snapshot->rawLine(camera), VIDEO_LINE_SIZE);
    const QString path = fuzzWriteFile("video.norm.a.cam", data + 1, size - 1);
    bool read = snapshot->readVideoLineFile(path, camera);
    // A file that is refused leaves the camera's line as it was.
    if (!read && std::memcmp(raw, snapshot->rawLine(camera), VIDEO_LINE_SIZE) != 0)
        std::abort();
    return 0;
}
