// kiv_inspect: looks into what the station wrote (datafiles, datafile directories) and what
// the cameras delivered (transfer, norm-video and camera log files) without writing code.
#include "kiv_inspect/inspectCommand.h"

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString out;
    QString err;
    int status = runInspect(arguments, &out, &err);
    std::fputs(out.toLocal8Bit().constData(), stdout);
    std::fputs(err.toLocal8Bit().constData(), stderr);
    return status;
}
