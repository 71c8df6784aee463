// The command line of kiv_inspect: the summary of one file, the check of a datafile
// directory, and the picture of datafiles; text for a person or JSON for scripts.
#pragma once

#include <QString>
#include <QStringList>

// Exit statuses.
const int INSPECT_INTACT = 0;
const int INSPECT_DAMAGED = 1; // damaged or unreadable input
const int INSPECT_USAGE = 2;

// Runs kiv_inspect with `arguments` (without the program name). What it prints goes to `out`
// (results) and `err` (messages); the result is the exit status.
int runInspect(const QStringList& arguments, QString* out, QString* err);

QString inspectUsage();
