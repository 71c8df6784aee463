#include "platform/instanceLock.h"

#include "platform/ownFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The PID the holder wrote; 0 when the file holds none (the holder may be writing it).
long readHolder(int fd) {
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    if (n <= 0)
        return 0;
    return std::strtol(text, nullptr, 10);
}

} // namespace

bool acquireInstanceLock(const char* path, long* holder) {
    *holder = -1;
    // Never a link, nor a file with another name (a hard link): the lock must not be a way to
    // truncate some other file. Nor a FIFO, a device or a directory, which would neither hold
    // a PID nor (a FIFO) let the opening return.
    const int fd = openPlainDescriptor(QString::fromLocal8Bit(path), O_RDWR | O_CREAT, true);
    if (fd < 0) {
        if (refusedAsNotOwn(errno))
            *holder = INSTANCE_LOCK_NOT_OWN;
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *holder = errno == EWOULDBLOCK ? readHolder(fd) : -1;
        close(fd);
        return false;
    }
    // The descriptor stays open, and the lock with it, until the process ends.
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%ld\n", long(getpid()));
    // A PID that cannot be written only leaves a second copy without it: the lock holds.
    // A PID cut short would name another process: none is better, and the lock holds all the
    // same; so a failed write is followed by an emptied file, whatever that answers.
    if (ftruncate(fd, 0) == 0 && pwrite(fd, text, size_t(length), 0) != length &&
        ftruncate(fd, 0) != 0) {
        // Nothing more to do: the lock holds all the same.
    }
    *holder = 0;
    return true;
}
