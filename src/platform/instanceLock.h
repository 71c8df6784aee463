// One controller per station folder: an exclusive lock on a file in the station directory,
// held for the life of the process and given up by the kernel when the process ends (also
// when it is killed), so that no stale lock can ever keep a station from starting.
#pragma once

// The lock file, in the station directory (the working directory).
const char* const INSTANCE_LOCK_PATH = "./acquire_kiv.lock";

// `*holder` when the lock file is no plain file of its own: a link (also one that leads
// nowhere), a file with a second name, a FIFO, a directory or a device.
const long INSTANCE_LOCK_NOT_OWN = -2;

// Takes the lock at `path` and writes this process's PID into the file. True when it is
// held; false when another process holds it (`*holder`: its PID, 0 when unknown), the file
// cannot be opened (`*holder` -1, errno set) or is no plain file of its own (`*holder`
// INSTANCE_LOCK_NOT_OWN).
bool acquireInstanceLock(const char* path, long* holder);
