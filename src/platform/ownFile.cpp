#include "platform/ownFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isWriteMode(const char* mode) {
    return std::strpbrk(mode, "wa+") != nullptr;
}

// What `st` shows that is no plain file of the station's own; null for a regular file with
// one name.
const char* strangerKind(const struct stat& st) {
    if (S_ISLNK(st.st_mode))
        return "a link";
    if (S_ISFIFO(st.st_mode))
        return "a FIFO";
    if (S_ISDIR(st.st_mode))
        return "a directory";
    if (!S_ISREG(st.st_mode))
        return "no regular file";
    if (st.st_nlink != 1)
        return "a second name of another file";
    return nullptr;
}

// A stream on the open descriptor `fd`; null (the descriptor closed, and the file removed when
// `made`, errno kept) when none can be had.
FILE* streamOn(int fd, const char* mode, const QByteArray& made = QByteArray()) {
    FILE* file = fdopen(fd, mode);
    if (!file) {
        const int error = errno;
        close(fd);
        if (!made.isEmpty())
            unlink(made.constData());
        errno = error;
    }
    return file;
}

// openPlainDescriptor without its last step: the descriptor stays non-blocking, and `*st` says
// what it is.
int openChecked(const QString& path, int flags, bool oneName, bool followLinks, struct stat* st) {
    const int fd = open(nativePath(path).constData(),
                        flags | (followLinks ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        // A FIFO without a reader refuses a non-blocking opening for writing with ENXIO.
        if (errno == ENXIO)
            errno = EINVAL;
        return -1;
    }
    int error = 0;
    if (fstat(fd, st) != 0)
        error = errno;
    else if (S_ISDIR(st->st_mode))
        error = EISDIR;
    else if (!S_ISREG(st->st_mode))
        error = EINVAL;
    else if (oneName && st->st_nlink != 1)
        error = EMLINK;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

int openPlainDescriptor(const QString& path, int flags, bool oneName, bool followLinks) {
    struct stat st;
    const int fd = openChecked(path, flags, oneName, followLinks, &st);
    if (fd < 0)
        return -1;
    // Reads and writes of a regular file never block anyway; the flag only kept the opening
    // from it. A stream made on the descriptor is told so.
    const int status = fcntl(fd, F_GETFL);
    if (status >= 0)
        (void)fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

int openRegularDescriptor(const QString& path, int64_t* size) {
    struct stat st;
    // Left non-blocking: reads of a regular file never block, and no stream reads it.
    const int fd = openChecked(path, O_RDONLY, false, false, &st);
    if (fd >= 0)
        *size = int64_t(st.st_size);
    return fd;
}

FILE* createFreshFile(const QString& path, const char* mode, const fileHooks& hooks,
                      const char** removed) {
    if (removed)
        *removed = nullptr;
    if (hooks.fails(fileOp::OPEN, path)) {
        errno = EACCES;
        return nullptr;
    }
    hooks.tell(fileOp::OPEN, path, QString(), false);
    const QByteArray native = nativePath(path);
    struct stat st;
    const bool found = lstat(native.constData(), &st) == 0;
    // A directory cannot go, and is reported as what it is.
    if (found && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    // Whatever else has this name goes first; unlink removes a link itself, never its target.
    if (found && unlink(native.constData()) == 0 && removed)
        *removed = strangerKind(st);
    const int fd =
        open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    FILE* file = streamOn(fd, mode, native);
    if (!file)
        return nullptr;
    hooks.tell(fileOp::OPEN, path, QString(), true);
    return file;
}

FILE* openOwnFile(const QString& path, const char* mode, const fileHooks& hooks) {
    const bool writes = isWriteMode(mode);
    if (writes && hooks.fails(fileOp::OPEN, path)) {
        errno = EACCES;
        return nullptr;
    }
    if (writes)
        hooks.tell(fileOp::OPEN, path, QString(), false);
    const int fd =
        openPlainDescriptor(path, writes ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY, true);
    if (fd < 0)
        return nullptr;
    FILE* file = streamOn(fd, mode);
    if (!file)
        return nullptr;
    if (writes)
        hooks.tell(fileOp::OPEN, path, QString(), true);
    return file;
}

int fillFreshFile(const QString& path, const char* mode, const std::function<bool(FILE*)>& fill,
                  const char** removed) {
    FILE* file = createFreshFile(path, mode, fileHooks::installed(), removed);
    if (!file)
        return errno;
    errno = 0;
    int error = fill(file) ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

FILE* openRegularFile(const QString& path) {
    const int fd = openPlainDescriptor(path, O_RDONLY, false);
    return fd < 0 ? nullptr : streamOn(fd, "rb");
}

FILE* openConfigFile(const QString& path) {
    const int fd = openPlainDescriptor(path, O_RDONLY, false, true);
    return fd < 0 ? nullptr : streamOn(fd, "r");
}

const char* strangerUnder(const QString& path) {
    struct stat st;
    return lstat(nativePath(path).constData(), &st) == 0 ? strangerKind(st) : nullptr;
}

bool nameTaken(const QString& path) {
    struct stat st;
    return lstat(nativePath(path).constData(), &st) == 0;
}

bool isOwnDirectory(const QString& path) {
    struct stat st;
    return lstat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

fileResult<> makeOwnDirectory(const QString& path) {
    const QByteArray native = nativePath(path);
    struct stat st;
    if (lstat(native.constData(), &st) != 0) {
        const QString parent = directoryOf(path);
        if (parent != path) {
            const fileResult<> made = makeDirectory(parent);
            if (!made)
                return made;
        }
        if (mkdir(native.constData(), 0755) != 0 && errno != EEXIST)
            return fileResult<>::failure(errno);
        // The new entry must outlive a power cut as the files that will be renamed into it do.
        (void)syncDirectory(parent);
        if (lstat(native.constData(), &st) != 0)
            return fileResult<>::failure(errno);
    }
    if (S_ISDIR(st.st_mode))
        return fileResult<>::ok();
    return fileResult<>::failure(S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR);
}

bool refusedAsNotOwn(int error) {
    return error == ELOOP || error == EMLINK || error == EISDIR || error == EINVAL;
}

QString refusalText(int error) {
    switch (error) {
    case ELOOP:
        return QStringLiteral("a link stands under its name");
    case EMLINK:
        return QStringLiteral("it has a second name");
    case EISDIR:
        return QStringLiteral("a directory stands under its name");
    case EINVAL:
        return QStringLiteral("it is no regular file");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
