// The station configuration file "./acquire_kiv.set": where each camera's input and control
// directories and the working directory are, the poll interval, whether a camera is rebooted
// at every resync, and the directories of the log files, the sync list and the video snapshot.
#pragma once

class cameraInput;

// Where the run loops read the station configuration: the station directory is the working
// directory.
const char* const STATION_CONFIGURATION_PATH = "./acquire_kiv.set";

// Applies the keys of the input's camera and the keys of both cameras from `path` to `input`
// (and to the process-wide log directory, the input's sync list and the video snapshot). Each
// rejected entry is reported on standard error. True when the file was opened and parsed.
bool pProcessConfFile(cameraInput* input, const char* path);
