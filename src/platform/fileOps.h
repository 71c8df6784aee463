// File operations the station takes from the operating system: renames that never replace
// an existing file, in-process moves and deletes (no command interpreter, so no path can ever
// run anything), durable writes, and a hook through which tests inject I/O failures.
#pragma once

#include <QString>

#include <cstdio>
#include <functional>

enum class fileOp { OPEN, WRITE, SYNC, RENAME, REMOVE, COPY };

// Returns true when the operation on `path` must fail. Tests install one; production has none.
using fileFaultHook = std::function<bool(fileOp op, const QString& path)>;
void setFileFaultHook(fileFaultHook hook);

// Encodes a path for the C library (the file system's 8-bit encoding).
QByteArray nativePath(const QString& path);

// fopen through the fault hook.
FILE* openFile(const QString& path, const char* mode);
// fwrite through the fault hook; a failure is a short count, as on a full disk.
size_t writeFile(FILE* file, const void* data, size_t count, const QString& path);
// Flushes the stream and brings the file to stable storage.
bool syncFile(FILE* file, const QString& path);
// Makes a rename or a removal in `dir` durable.
bool syncDirectory(const QString& dir);

// Renames `from` to `to` unless `to` exists; an existing target is never replaced and the
// source then stays. Works where the file system refuses rename flags (network shares).
bool renameNoReplace(const QString& from, const QString& to);
// As above, returning 0 or the errno of the failure (EEXIST when the target exists, EXDEV
// across file systems).
int renameNoReplaceErrno(const QString& from, const QString& to);

bool removeFile(const QString& path);
bool fileExists(const QString& path);
bool directoryExists(const QString& path);

// Moves a file to `to` without replacing anything. Within one file system a rename; across
// file systems a copy to "`to`.part" that is synced and renamed, then the source is removed.
// On failure the source stays in place and no half-written target remains.
bool moveFileNoReplace(const QString& from, const QString& to);
