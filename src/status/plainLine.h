// The line that stands for a message of the message log where no screen is drawn. On a pipe
// or in a file it carries the local time; in the systemd journal, which keeps its own time,
// it carries the journal's priority prefix ("<3>" for errors) so that `journalctl -p err`
// finds the station's errors.
#pragma once

#include "log/messageLog.h"

#include <QString>

// Syslog priority of a message's severity: error 3, warning 4, note 5, info 6.
int messagePriority(severity level);

// "<priority>message" for the journal, otherwise "YYYY-mm-dd HH:MM:SS message" in local time
// of the station clock.
QString plainMessageLine(severity level, const QString& text, bool journal);
