// Whether standard output goes straight to the systemd journal. The service manager names
// the stream it connected in the environment variable JOURNAL_STREAM as "device:inode";
// output redirected elsewhere by the process or a shell (a pipe, a file) has another device
// or inode, so only the service's own stream counts.
#pragma once

// True when `value` (the text of JOURNAL_STREAM, may be null) names the stream with this
// device and inode number.
bool journalStreamNames(const char* value, unsigned long long device, unsigned long long inode);

// True when standard output is the journal stream named by JOURNAL_STREAM.
bool standardOutputIsJournal();
