// The inspector's datafile check on arbitrary bytes: layout, checksum, name and frame times,
// and the decoding of every frame entry's run-length data.
#include "fuzzSupport.h"

#include "kiv_inspect/datafileCheck.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    // A name of the day the fuzz targets live in, so the name checks run as well.
    datafileVerdict verdict = checkDatafile(QStringLiteral("01796724.000"), bytes);
    for (const inspectProblem& problem : verdict.problems)
        problemText(problem);
    return 0;
}
