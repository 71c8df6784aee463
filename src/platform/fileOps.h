// File operations the station takes from the operating system: renames that never replace
// an existing file, in-process moves and deletes (no command interpreter, so no path can ever
// run anything), durable writes, and two hooks for tests: one injects I/O failures, the other
// watches what reaches the disk (a power-cut test keeps the durable state beside the real one).
// These calls are unbounded in time: they are for the station's own disk. On a camera share
// the same operations run through the share (platform/cameraShare.h), bounded.
#pragma once

#include "platform/fileResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <functional>

// SYNC_DIRECTORY is a directory sync; RENAME_FLAG and LINK are the rename's system calls (the
// no-replace flag, the hard link of its fallback), for a file system that refuses them.
enum class fileOp {
    OPEN,
    WRITE,
    SYNC,
    RENAME,
    REMOVE,
    COPY,
    LIST,
    SYNC_DIRECTORY,
    RENAME_FLAG,
    LINK
};

// Returns true when the operation on `path` must fail. Tests install one; production has none.
// A failure looks as the system shows it: a refused open EACCES, a short write ENOSPC, a sync
// EIO, a refused rename flag EINVAL, a refused hard link EPERM.
using fileFaultHook = std::function<bool(fileOp op, const QString& path)>;
void setFileFaultHook(fileFaultHook hook);

// Told before (`done` false) and after success (`done` true) of each change to the disk: an
// open for writing (OPEN), a file sync (SYNC), a directory sync (SYNC_DIRECTORY, `path` the
// directory), a rename or replace (RENAME, `target` the new name), a removal (REMOVE) and the
// synced copy of a move across file systems (COPY, `target` the copy). Production has none.
using fileEventHook =
    std::function<void(fileOp op, const QString& path, const QString& target, bool done)>;
void setFileEventHook(fileEventHook hook);

// Both hooks as one value. The operations a camera share runs on its worker take a copy made
// on the loop's thread, so that a test may install or reset the hooks while a late call still
// runs; everything else reads the installed ones.
struct fileHooks {
    fileFaultHook fault;
    fileEventHook event;
    // The hooks installed now (the loop's thread only).
    static const fileHooks& installed();
    // True when the fault hook makes `op` on `path` fail.
    bool fails(fileOp op, const QString& path) const { return fault && fault(op, path); }
    void tell(fileOp op, const QString& path, const QString& target, bool done) const {
        if (event)
            event(op, path, target, done);
    }
};

// Encodes a path for the C library (the file system's 8-bit encoding).
QByteArray nativePath(const QString& path);

// fopen through the fault hook.
FILE* openFile(const QString& path, const char* mode);
// fwrite through the fault hook; a failure is a short count, as on a full disk.
size_t writeFile(FILE* file, const void* data, size_t count, const QString& path);
// Flushes the stream and brings the file to stable storage.
fileResult<> syncFile(FILE* file, const QString& path,
                      const fileHooks& hooks = fileHooks::installed());
// Flushes the stream and lets the disk start writing the file without waiting for it, so that
// a later syncFile finds little left to wait for. Fails only as the flush does.
fileResult<> startWriteBack(FILE* file);
// Makes a rename or a removal in `dir` durable.
fileResult<> syncDirectory(const QString& dir, const fileHooks& hooks = fileHooks::installed());

// Renames `from` to `to` unless `to` exists; an existing target is never replaced and the
// source then stays. Works where the file system refuses rename flags (network shares): with
// the flag the kernel refuses an existing target; without it a hard link does; where hard
// links are refused too (an SMB share through FUSE), the target is looked up and the rename
// made only when it is absent. That last way never replaces a target that was there when it
// looked, but cannot keep out one that another computer creates in the moment between look
// and rename: it is safe for names that only the station creates and others only remove.
// Failed with EEXIST when the target exists, EXDEV across file systems.
fileResult<> renameNoReplace(const QString& from, const QString& to,
                             const fileHooks& hooks = fileHooks::installed());

// Renames `from` to `to`, replacing `to` atomically: only for files that are the station's
// alone (status files), never for anything a camera or an outside reader takes away.
fileResult<> replaceFile(const QString& from, const QString& to);

fileResult<> removeFile(const QString& path, const fileHooks& hooks = fileHooks::installed());
// A question, not an operation: true when `path` is there and no directory.
bool fileExists(const QString& path);
// What tells one file from a later one of the same name: inode, size and modification time
// together (an inode alone is soon reused).
struct fileStamp {
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const fileStamp& other) const {
        return inode == other.inode && size == other.size && modifiedNs == other.modifiedNs;
    }
};
// What `path` is, as the station asks it of a file or directory (a link is not followed).
struct fileInfo {
    bool regular = false;   // a regular file: `stamp` is its stamp
    bool directory = false; // a directory
    fileStamp stamp;
};
// Failed with ENOENT when there is nothing of that name.
fileResult<fileInfo> statFile(const QString& path, const fileHooks& hooks = fileHooks::installed());
// The stamp of the regular file `path` (failed with EINVAL for anything but a regular file).
fileResult<fileStamp> stampFile(const QString& path);
// A question: true when `path` is a directory.
bool directoryExists(const QString& path);
// The directory part of `path` ("." for a bare name).
QString directoryOf(const QString& path);
// Makes the directory `path` (and its parents) unless it exists, and makes the new entry
// durable; done when it exists afterwards.
fileResult<> makeDirectory(const QString& path);

// Moves a file to `to` without replacing anything. Within one file system a rename; across
// file systems a copy to "`to`.part" that is synced and renamed, then the source is removed.
// On failure the source stays in place and no half-written target remains. The source is
// opened without following a link or blocking on a FIFO and must be a regular file (EINVAL
// otherwise); when it cannot be removed after the copy, the copy is taken back and the result
// is the errno of that removal.
fileResult<> moveFileNoReplace(const QString& from, const QString& to,
                               const fileHooks& hooks = fileHooks::installed());

// What listFiles leaves out of a directory: an entry whose name matches the wildcard but
// which the station cannot take as it is.
struct unusableEntry {
    QByteArray rawName; // the name as the file system has it
    const char* reason; // short text for the messages
};

// Names of the regular files in `dir` that the station may read and write and whose names
// match the wildcard `pattern` (without regard to case, as the camera computers' file systems
// name files; symbolic links, hidden files and names that are no valid text are left alone),
// sorted by name. Failed, with no names, when the directory cannot be read. With `unusable`,
// the same pass also gives the matching entries it left out (names that are no valid text,
// links, FIFOs, directories, files the station may not read and write), sorted by name: on a
// camera share every look at an entry is a round trip.
fileResult<QStringList> listFiles(const QString& dir, const QString& pattern,
                                  const fileHooks& hooks = fileHooks::installed(),
                                  QList<unusableEntry>* unusable = nullptr);
// Reads exactly `count` bytes from the descriptor `fd` into `into`, in as few reads as the
// system allows: false when it fails or the file ends before (errno 0 then).
bool readExactly(int fd, void* into, size_t count);

// True when the file name `name` matches `pattern` as listFiles matches it.
bool fileNameMatches(const QString& pattern, const QString& name);
// The same for a pattern and a name as the file system has them.
bool nativeNameMatches(const char* pattern, const char* name);
