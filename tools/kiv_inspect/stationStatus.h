// The station's status file "acquire_kiv.status.json" shown for a person: one screen with the
// run phase, when the file was written and whether the controller still rewrites it, the
// synchronisation, each camera's delivery, datafiles, disk space, the clock, resyncs, errors and
// the newest messages. Ages are counted to the present, not to when the file was written.
#pragma once

#include <QString>

// Reads the status file of the station folder `dir` and writes its screen to `out`; false
// with a message in `err` when there is no readable status file.
bool showStationStatus(const QString& dir, QString* out, QString* err);
