// The station's status file "acquire_kiv.status.json" shown for a person: one screen with the
// run phase, when the file was written and whether the controller still rewrites it, the
// synchronisation, each camera's handshake state and delivery, datafiles, disk space, the
// clock, resyncs, errors, the newest messages and what needs attention. Ages are counted to
// the present, not to when the file was written.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>

// Exit statuses of --status, for monitoring scripts.
const int STATUS_OK = 0;
const int STATUS_ATTENTION = 1;  // STALE, STOPPED, or a condition the alert rules fire on
const int STATUS_UNREADABLE = 2; // no status file, or not one

// Reads the status file of the station folder `dir` and writes its screen to `out`; the exit
// status, with a message in `err` when there is no readable status file.
int showStationStatus(const QString& dir, QString* out, QString* err);

// The conditions of the sample alert rules that hold for the status `s` of a running
// controller at wall-clock second `now`, one line each: directories missing, a camera silent
// for 5 minutes, no datafile for 10 minutes, the datafile disk nearly full, the clock not
// synchronised. A controller just started is given the rules' time for each.
QStringList statusAlerts(const QJsonObject& s, int64_t now);
