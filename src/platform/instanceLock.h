// One controller per station folder: an exclusive lock on a file in the station directory,
// held for the life of the process and given up by the kernel when the process ends (also
// when it is killed), so that no stale lock can ever keep a station from starting.
#pragma once

// The lock file, in the station directory (the working directory).
const char* const INSTANCE_LOCK_PATH = "./acquire_kiv.lock";

// Takes the lock at `path` and writes this process's PID into the file. True when it is
// held; false when another process holds it (`*holder`: its PID, 0 when unknown) or the file
// cannot be opened (`*holder` -1).
bool acquireInstanceLock(const char* path, long* holder);
