#include "platform/fileOps.h"

#include "platform/shareWorker.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Never destroyed: a share's worker still stalled in a call when the process ends may use
// them after the static destructors have run.
fileFaultHook& faultHook() {
    static auto* hook = new fileFaultHook();
    return *hook;
}

fileEventHook& eventHook() {
    static auto* hook = new fileEventHook();
    return *hook;
}

bool injected(fileOp op, const QString& path) {
    const fileFaultHook& hook = faultHook();
    return hook && hook(op, path);
}

void tell(fileOp op, const QString& path, const QString& target, bool done) {
    const fileEventHook& hook = eventHook();
    if (hook)
        hook(op, path, target, done);
}

// Tells the watcher of a change that succeeded when `ok`; returns `ok`.
bool told(fileOp op, const QString& path, const QString& target, bool ok) {
    if (ok)
        tell(op, path, target, true);
    return ok;
}

bool isWriteMode(const char* mode) {
    for (const char* p = mode; *p; ++p)
        if (*p == 'w' || *p == 'a' || *p == '+')
            return true;
    return false;
}

// Copies `from` into a new file `to` (which must not exist) and syncs it; 0 or the errno of
// the failure.
int copyNewFile(const QString& from, const QString& to) {
    if (injected(fileOp::COPY, from))
        return EIO;
    tell(fileOp::COPY, from, to, false);
    // The source lies on a share: a link swapped in after the listing is not followed, and a
    // FIFO neither blocks the opening nor is taken for a file.
    int in = open(nativePath(from).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return errno;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return EINVAL;
    }
    int out = open(nativePath(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0644);
    if (out < 0) {
        const int error = errno;
        close(in);
        return error;
    }
    std::vector<char> buffer(1 << 20);
    bool ok = true;
    int error = 0;
    for (;;) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            ok = false;
            break;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                error = w < 0 ? errno : ENOSPC;
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok)
            break;
    }
    if (ok && fsync(out) != 0) {
        error = errno;
        ok = false;
    }
    close(in);
    if (close(out) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (!ok)
        unlink(nativePath(to).constData());
    (void)told(fileOp::COPY, from, to, ok);
    return ok ? 0 : (error != 0 ? error : EIO);
}

} // namespace

void setFileFaultHook(fileFaultHook hook) {
    faultHook() = std::move(hook);
}

void setFileEventHook(fileEventHook hook) {
    eventHook() = std::move(hook);
}

bool fileFaultInjected(fileOp op, const QString& path) {
    return injected(op, path);
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

FILE* openFile(const QString& path, const char* mode) {
    if (!isWriteMode(mode))
        return std::fopen(nativePath(path).constData(), mode);
    if (injected(fileOp::OPEN, path)) {
        errno = EACCES;
        return nullptr;
    }
    tell(fileOp::OPEN, path, QString(), false);
    FILE* file = std::fopen(nativePath(path).constData(), mode);
    told(fileOp::OPEN, path, QString(), file != nullptr);
    return file;
}

size_t writeFile(FILE* file, const void* data, size_t count, const QString& path) {
    if (!file)
        return 0;
    if (injected(fileOp::WRITE, path)) {
        errno = ENOSPC;
        return count / 2;
    }
    return std::fwrite(data, 1, count, file);
}

bool syncFile(FILE* file, const QString& path) {
    if (!file || std::fflush(file) != 0)
        return false;
    if (injected(fileOp::SYNC, path)) {
        errno = EIO;
        return false;
    }
    tell(fileOp::SYNC, path, QString(), false);
    return told(fileOp::SYNC, path, QString(), fsync(fileno(file)) == 0);
}

namespace {
bool syncDirectoryHere(const QString& dir) {
    if (injected(fileOp::SYNC_DIRECTORY, dir)) {
        errno = EIO;
        return false;
    }
    tell(fileOp::SYNC_DIRECTORY, dir, QString(), false);
    int fd = open(nativePath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return told(fileOp::SYNC_DIRECTORY, dir, QString(), ok);
}
} // namespace

bool syncDirectory(const QString& dir) {
    return shareCall<bool>(dir, QString(), false, [=] { return syncDirectoryHere(dir); });
}

namespace {

int renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray src = nativePath(from);
    const QByteArray dst = nativePath(to);
    int err = EINVAL;
    if (!injected(fileOp::RENAME_FLAG, from)) {
        if (renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
            return 0;
        err = errno;
    }
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;
    // The file system refuses rename flags (network shares): a hard link fails on an
    // existing target just as the flag would.
    err = EPERM;
    if (!injected(fileOp::LINK, from)) {
        if (link(src.constData(), dst.constData()) == 0) {
            unlink(src.constData());
            return 0;
        }
        err = errno;
    }
    if (err != EPERM && err != ENOTSUP && err != ENOSYS)
        return err;
    // No hard links either (FAT, some shares): test, then rename. A target that appears in
    // between would be replaced; nothing better is offered by such file systems.
    struct stat st;
    if (lstat(dst.constData(), &st) == 0)
        return EEXIST;
    return std::rename(src.constData(), dst.constData()) == 0 ? 0 : errno;
}

int renameNoReplaceHere(const QString& from, const QString& to) {
    if (injected(fileOp::RENAME, from))
        return EACCES;
    tell(fileOp::RENAME, from, to, false);
    int err = renameWithoutReplacing(from, to);
    told(fileOp::RENAME, from, to, err == 0);
    return err;
}

} // namespace

int renameNoReplaceErrno(const QString& from, const QString& to) {
    return shareCall<int>(from, to, ETIMEDOUT, [=] { return renameNoReplaceHere(from, to); });
}

bool renameNoReplace(const QString& from, const QString& to) {
    return renameNoReplaceErrno(from, to) == 0;
}

namespace {
bool replaceFileHere(const QString& from, const QString& to) {
    if (injected(fileOp::RENAME, from))
        return false;
    tell(fileOp::RENAME, from, to, false);
    return told(fileOp::RENAME, from, to,
                std::rename(nativePath(from).constData(), nativePath(to).constData()) == 0);
}
} // namespace

bool replaceFile(const QString& from, const QString& to) {
    return shareCall<bool>(from, to, false, [=] { return replaceFileHere(from, to); });
}

namespace {
bool removeFileHere(const QString& path) {
    if (injected(fileOp::REMOVE, path)) {
        errno = EACCES;
        return false;
    }
    tell(fileOp::REMOVE, path, QString(), false);
    return told(fileOp::REMOVE, path, QString(), unlink(nativePath(path).constData()) == 0);
}
} // namespace

bool removeFile(const QString& path) {
    return shareCall<bool>(path, QString(), false, [=] { return removeFileHere(path); });
}

namespace {
bool fileExistsHere(const QString& path) {
    struct stat st;
    return stat(nativePath(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}
} // namespace

bool fileExists(const QString& path) {
    return shareCall<bool>(path, QString(), false, [=] { return fileExistsHere(path); });
}

namespace {
bool directoryExistsHere(const QString& path) {
    struct stat st;
    return stat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}
} // namespace

bool directoryExists(const QString& path) {
    return shareCall<bool>(path, QString(), false, [=] { return directoryExistsHere(path); });
}

bool moveFileNoReplace(const QString& from, const QString& to) {
    return moveFileNoReplaceErrno(from, to) == 0;
}

namespace {
int moveHere(const QString& from, const QString& to) {
    int err = renameNoReplaceErrno(from, to);
    if (err != EXDEV)
        return err;
    // Across file systems (the input directory is usually a network share): the copy gets
    // a name that no input filter matches and becomes visible only when complete.
    const QString temp = to + QStringLiteral(".part");
    removeFile(temp); // left by a move that was cut short; only this code writes such names
    err = copyNewFile(from, temp);
    if (err != 0)
        return err;
    err = renameNoReplaceErrno(temp, to);
    if (err != 0) {
        removeFile(temp);
        return err;
    }
    syncDirectory(directoryOf(to));
    // The source could not go: take the copy back so that the file is not seen twice.
    if (!removeFileHere(from)) {
        err = errno;
        removeFile(to);
    }
    return err;
}
} // namespace

int moveFileNoReplaceErrno(const QString& from, const QString& to) {
    return shareCall<int>(from, to, ETIMEDOUT, [=] { return moveHere(from, to); });
}

namespace {

bool listFilesHere(const QString& dir, const QString& pattern, QStringList* names) {
    names->clear();
    if (injected(fileOp::LIST, dir))
        return false;
    DIR* stream = opendir(nativePath(dir).constData());
    if (!stream)
        return false;
    const QByteArray wildcard = nativePath(pattern);
    const int fd = dirfd(stream);
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        if (!nativeNameMatches(wildcard.constData(), entry->d_name))
            continue;
        // A name that is no valid text would name another file, or none, once decoded.
        const QString name = QFile::decodeName(entry->d_name);
        if (QFile::encodeName(name) != entry->d_name)
            continue;
        if (entry->d_type != DT_REG) {
            struct stat st;
            if (entry->d_type != DT_UNKNOWN ||
                fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        if (faccessat(fd, entry->d_name, R_OK | W_OK, 0) != 0)
            continue;
        names->append(name);
    }
    closedir(stream);
    if (!ok) {
        names->clear();
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

} // namespace

bool listFiles(const QString& dir, const QString& pattern, QStringList* names) {
    struct listing {
        bool ok = false;
        QStringList names;
    };
    const listing result = shareCall<listing>(dir, QString(), listing(), [=] {
        listing l;
        l.ok = listFilesHere(dir, pattern, &l.names);
        return l;
    });
    *names = result.names;
    return result.ok;
}

// FNM_PERIOD: a wildcard never matches the leading "." of a hidden file. FNM_CASEFOLD: the
// camera computers' file systems do not tell "x.a.cam" from "X.A.CAM", and neither does the
// station.
bool nativeNameMatches(const char* pattern, const char* name) {
    return fnmatch(pattern, name, FNM_PERIOD | FNM_CASEFOLD) == 0;
}

bool fileNameMatches(const QString& pattern, const QString& name) {
    return nativeNameMatches(nativePath(pattern).constData(), nativePath(name).constData());
}

namespace {

bool stampFileHere(const QString& path, fileStamp* stamp) {
    *stamp = fileStamp();
    struct stat st;
    if (stat(nativePath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp->inode = uint64_t(st.st_ino);
    stamp->size = uint64_t(st.st_size);
    stamp->modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

bool stampFile(const QString& path, fileStamp* stamp) {
    struct stamped {
        bool ok = false;
        fileStamp stamp;
    };
    const stamped result = shareCall<stamped>(path, QString(), stamped(), [=] {
        stamped st;
        st.ok = stampFileHere(path, &st.stamp);
        return st;
    });
    *stamp = result.stamp;
    return result.ok;
}

QString directoryOf(const QString& path) {
    int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

namespace {
bool makeDirectoryHere(const QString& path) {
    if (directoryExists(path))
        return true;
    const QString parent = directoryOf(path);
    if (parent != path && !makeDirectory(parent))
        return false;
    if (mkdir(nativePath(path).constData(), 0755) != 0 && errno != EEXIST)
        return false;
    // The new entry must outlive a power cut as the files that will be renamed into it do.
    (void)syncDirectory(parent);
    return directoryExists(path);
}
} // namespace

bool makeDirectory(const QString& path) {
    return shareCall<bool>(path, QString(), false, [=] { return makeDirectoryHere(path); });
}
