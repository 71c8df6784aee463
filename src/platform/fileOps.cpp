#include "platform/fileOps.h"

#include "platform/ownFile.h"

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

// Never destroyed: code that runs while the static destructors run may still ask for them.
fileHooks& hooksInstalled() {
    static auto* hooks = new fileHooks();
    return *hooks;
}

bool injected(fileOp op, const QString& path) {
    return hooksInstalled().fails(op, path);
}

void tell(fileOp op, const QString& path, const QString& target, bool done) {
    hooksInstalled().tell(op, path, target, done);
}

// Tells the watcher of a change that succeeded when `ok`; returns `ok`.
bool told(const fileHooks& hooks, fileOp op, const QString& path, const QString& target, bool ok) {
    if (ok)
        hooks.tell(op, path, target, true);
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
int copyNewFile(const QString& from, const QString& to, const fileHooks& hooks) {
    if (hooks.fails(fileOp::COPY, from))
        return EIO;
    hooks.tell(fileOp::COPY, from, to, false);
    // The source lies on a share: a link swapped in after the listing is not followed, and a
    // FIFO neither blocks the opening nor is taken for a file.
    int in = openPlainDescriptor(from, O_RDONLY, false);
    if (in < 0)
        return errno;
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
    (void)told(hooks, fileOp::COPY, from, to, ok);
    return ok ? 0 : (error != 0 ? error : EIO);
}

int renameWithoutReplacing(const QString& from, const QString& to, const fileHooks& hooks) {
    const QByteArray src = nativePath(from);
    const QByteArray dst = nativePath(to);
    int err = EINVAL;
    if (!hooks.fails(fileOp::RENAME_FLAG, from)) {
        if (renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dst.constData(), RENAME_NOREPLACE) == 0)
            return 0;
        err = errno;
    }
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;
    // The file system refuses rename flags (network shares): a hard link fails on an
    // existing target just as the flag would.
    err = EPERM;
    if (!hooks.fails(fileOp::LINK, from)) {
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

} // namespace

const fileHooks& fileHooks::installed() {
    return hooksInstalled();
}

void setFileFaultHook(fileFaultHook hook) {
    hooksInstalled().fault = std::move(hook);
}

void setFileEventHook(fileEventHook hook) {
    hooksInstalled().event = std::move(hook);
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
    told(hooksInstalled(), fileOp::OPEN, path, QString(), file != nullptr);
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

fileResult<> syncFile(FILE* file, const QString& path, const fileHooks& hooks) {
    if (!file)
        return fileResult<>::failure(EBADF);
    if (std::fflush(file) != 0)
        return fileResult<>::failure(errno);
    if (hooks.fails(fileOp::SYNC, path))
        return fileResult<>::failure(EIO);
    hooks.tell(fileOp::SYNC, path, QString(), false);
    const bool ok = fsync(fileno(file)) == 0;
    const int error = errno;
    told(hooks, fileOp::SYNC, path, QString(), ok);
    return fileResult<>::fromErrno(ok ? 0 : error);
}

fileResult<> startWriteBack(FILE* file) {
    if (!file)
        return fileResult<>::failure(EBADF);
    if (std::fflush(file) != 0)
        return fileResult<>::failure(errno);
#ifdef __linux__
    // Only a hint to the kernel: where it is refused, the sync waits for the whole file.
    (void)sync_file_range(fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    return fileResult<>::ok();
}

fileResult<> syncDirectory(const QString& dir, const fileHooks& hooks) {
    if (hooks.fails(fileOp::SYNC_DIRECTORY, dir))
        return fileResult<>::failure(EIO);
    hooks.tell(fileOp::SYNC_DIRECTORY, dir, QString(), false);
    int fd = open(nativePath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fileResult<>::failure(errno);
    const bool ok = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    told(hooks, fileOp::SYNC_DIRECTORY, dir, QString(), ok);
    return fileResult<>::fromErrno(ok ? 0 : error);
}

fileResult<> renameNoReplace(const QString& from, const QString& to, const fileHooks& hooks) {
    if (hooks.fails(fileOp::RENAME, from))
        return fileResult<>::failure(EACCES);
    hooks.tell(fileOp::RENAME, from, to, false);
    const int err = renameWithoutReplacing(from, to, hooks);
    told(hooks, fileOp::RENAME, from, to, err == 0);
    return fileResult<>::fromErrno(err);
}

fileResult<> replaceFile(const QString& from, const QString& to) {
    if (injected(fileOp::RENAME, from))
        return fileResult<>::failure(EACCES);
    tell(fileOp::RENAME, from, to, false);
    const bool ok = std::rename(nativePath(from).constData(), nativePath(to).constData()) == 0;
    const int error = errno;
    told(hooksInstalled(), fileOp::RENAME, from, to, ok);
    return fileResult<>::fromErrno(ok ? 0 : error);
}

fileResult<> removeFile(const QString& path, const fileHooks& hooks) {
    if (hooks.fails(fileOp::REMOVE, path))
        return fileResult<>::failure(EACCES);
    hooks.tell(fileOp::REMOVE, path, QString(), false);
    const bool ok = unlink(nativePath(path).constData()) == 0;
    const int error = errno;
    told(hooks, fileOp::REMOVE, path, QString(), ok);
    return fileResult<>::fromErrno(ok ? 0 : error);
}

bool fileExists(const QString& path) {
    struct stat st;
    return stat(nativePath(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool directoryExists(const QString& path) {
    struct stat st;
    return stat(nativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

fileResult<fileInfo> statFile(const QString& path, const fileHooks& hooks) {
    (void)hooks; // no fault of its own: a share that fails is seen in the calls that change it
    struct stat st;
    if (stat(nativePath(path).constData(), &st) != 0)
        return fileResult<fileInfo>::failure(errno);
    fileInfo info;
    info.regular = S_ISREG(st.st_mode);
    info.directory = S_ISDIR(st.st_mode);
    if (info.regular) {
        info.stamp.inode = uint64_t(st.st_ino);
        info.stamp.size = uint64_t(st.st_size);
        info.stamp.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return fileResult<fileInfo>::ok(info);
}

fileResult<fileStamp> stampFile(const QString& path) {
    const fileResult<fileInfo> info = statFile(path);
    if (!info)
        return info.as<fileStamp>();
    if (!info.value.regular)
        return fileResult<fileStamp>::failure(EINVAL);
    return fileResult<fileStamp>::ok(info.value.stamp);
}

fileResult<> moveFileNoReplace(const QString& from, const QString& to, const fileHooks& hooks) {
    fileResult<> moved = renameNoReplace(from, to, hooks);
    if (!moved.failedWith(EXDEV))
        return moved;
    // Across file systems (the input directory is usually a network share): the copy gets
    // a name that no input filter matches and becomes visible only when complete.
    const QString temp = to + QStringLiteral(".part");
    (void)removeFile(temp,
                     hooks); // left by a move that was cut short; only this code writes such names
    int err = copyNewFile(from, temp, hooks);
    if (err != 0)
        return fileResult<>::failure(err);
    moved = renameNoReplace(temp, to, hooks);
    if (!moved) {
        (void)removeFile(temp, hooks);
        return moved;
    }
    // A failed sync leaves only the new name at risk in a power cut; the source is still there.
    (void)syncDirectory(directoryOf(to), hooks);
    // The source could not go: take the copy back so that the file is not seen twice.
    const fileResult<> removed = removeFile(from, hooks);
    if (!removed)
        (void)removeFile(to, hooks);
    return removed;
}

fileResult<QStringList> listFiles(const QString& dir, const QString& pattern,
                                  const fileHooks& hooks, QList<unusableEntry>* unusable) {
    if (unusable)
        unusable->clear();
    if (hooks.fails(fileOp::LIST, dir))
        return fileResult<QStringList>::failure(EIO);
    DIR* stream = opendir(nativePath(dir).constData());
    if (!stream)
        return fileResult<QStringList>::failure(errno);
    QStringList names;
    const QByteArray wildcard = nativePath(pattern);
    const int fd = dirfd(stream);
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (!entry) {
            error = errno;
            break;
        }
        if (!nativeNameMatches(wildcard.constData(), entry->d_name))
            continue;
        // A name that is no valid text would name another file, or none, once decoded.
        const QString name = QFile::decodeName(entry->d_name);
        const char* reason = nullptr;
        if (QFile::encodeName(name) != entry->d_name) {
            reason = "its name is no valid text";
        } else if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone since it was listed
            if (!S_ISREG(st.st_mode))
                reason = "it is not a regular file";
        } else if (entry->d_type != DT_REG) {
            reason = "it is not a regular file";
        }
        if (!reason && faccessat(fd, entry->d_name, R_OK | W_OK, 0) != 0)
            reason = "it is not readable and writable";
        if (!reason)
            names.append(name);
        else if (unusable)
            unusable->append(unusableEntry{QByteArray(entry->d_name), reason});
    }
    closedir(stream);
    if (error != 0) {
        if (unusable)
            unusable->clear();
        return fileResult<QStringList>::failure(error);
    }
    std::sort(names.begin(), names.end());
    if (unusable)
        std::sort(
            unusable->begin(), unusable->end(),
            [](const unusableEntry& a, const unusableEntry& b) { return a.rawName < b.rawName; });
    return fileResult<QStringList>::ok(names);
}

bool readExactly(int fd, void* into, size_t count) {
    char* at = static_cast<char*>(into);
    while (count > 0) {
        const ssize_t n = read(fd, at, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        at += n;
        count -= size_t(n);
    }
    return true;
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

QString directoryOf(const QString& path) {
    int slash = path.lastIndexOf('/');
    if (slash < 0)
        return QStringLiteral(".");
    if (slash == 0)
        return QStringLiteral("/");
    return path.left(slash);
}

fileResult<> makeDirectory(const QString& path) {
    if (directoryExists(path))
        return fileResult<>::ok();
    const QString parent = directoryOf(path);
    if (parent != path) {
        const fileResult<> made = makeDirectory(parent);
        if (!made)
            return made;
    }
    if (mkdir(nativePath(path).constData(), 0755) != 0 && errno != EEXIST)
        return fileResult<>::failure(errno);
    // The new entry must outlive a power cut as the files that will be renamed into it do.
    (void)syncDirectory(parent);
    return directoryExists(path) ? fileResult<>::ok() : fileResult<>::failure(ENOTDIR);
}
