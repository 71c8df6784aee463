// What the benchmark programs share: the one result line each prints, a station in a
// temporary folder driven the way the run loop drives it, frames whose place in the line
// stream is patched in, and the process's resident memory. The station folder and the
// transfer files are the tests' own (tests/support).
#pragma once

#include "format/transferWriter.h"
#include "input/cameraInput.h"
#include "output/datafileWriter.h"
#include "platform/stationClock.h"
#include "support/stationFolder.h"
#include "support/transferFiles.h"
#include "sync/syncList.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Camera lines per second of the instrument.
const uint64_t LINES_PER_SECOND = 55172;

// Keeps the result lines apart from the station's messages: from here on standard output
// goes to `messageLog` (or nowhere), and the result line to the original standard output.
void separateResults(const char* messageLog = nullptr);

// "--smoke" on the command line: one short run (a few seconds of data) that checks only that
// the benchmark works: no abort, no frame lost, no error of the station. Its figure is printed
// but not judged, since one short run on a shared machine says nothing of speed; CI runs every
// benchmark so, and scripts/bench judges the targets. Remembered for printResult.
bool optionSmoke(int argc, char** argv);
// True when `name` ("--smoke", ...) is on the command line.
bool optionFlag(int argc, char** argv, const char* name);

// "name  figure  target  PASS|FAIL", aligned. Passes when the run was `complete` (every frame
// accounted for, no station error) and, but in a smoke run, the target was `met`; the exit
// status of a benchmark follows the answer.
bool printResult(const char* name, const std::string& figure, const std::string& target,
                 bool complete, bool met);
// A line of detail under the result, indented.
void printNote(const std::string& text);
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

double monotonicSeconds();
// CPU time of this process so far, user and system.
double cpuSeconds();
// Of that, the time the kernel spent for this process.
double kernelCpuSeconds();

// "--name value" from the command line, or `fallback`.
QString optionValue(int argc, char** argv, const char* name, const QString& fallback);
// The file named by "--messages FILE", where the station's messages go (null: nowhere).
const char* optionMessages(int argc, char** argv);

// Messages of the station that report an error, counted since the start.
int stationErrors();
// The error lines that the acquire_kiv process of the station folder `stationDir` counted, from
// its status file (written once more when it stops); -1 when there is none to read.
int statusFileErrors(const QString& stationDir);
// Prints the first few error lines of the message log file `log` as notes, for a failed run.
void printLogErrors(const QString& log);

// A station in a temporary folder below `root`: input, working, control, datafile, sync and
// log directories, the "acquire_kiv.set" naming them, a simulated clock at `start`, the sync
// list, both camera inputs and the datafile writer, built as the run loop builds them.
class benchStation {
public:
    benchStation(const QString& root, double start);
    ~benchStation();

    // A new synchronisation at the clock's time, as the run loop makes one; its syncId.
    uint16_t synchronise();
    // Time passes until line `line` of the current synchronisation has been recorded (the
    // clock never goes back): a station reads a transfer file after its lines were recorded,
    // and refuses frames far ahead of its clock.
    void recordedUntil(uint64_t line);
    // One poll of both cameras and the processing of everything it brought, pairing and
    // writing datafiles as the run loop does; the number of datafiles written.
    int pollAndProcess();

    QString inputDir(int camera) const;
    QString outputDir() const { return m_root.path() + QStringLiteral("/3sec"); }
    const QString& path() const { return m_path; }
    simulatedClock& clock() { return m_clock; }
    syncList& syncs() { return *m_syncs; }
    cameraInput& camera(int camera) { return camera == 1 ? *m_cameraA : *m_cameraB; }
    datafileWriter& writer() { return *m_writer; }

private:
    QTemporaryDir m_root;
    QString m_path;
    simulatedClock m_clock;
    scopedStationClock m_guard;
    syncListPtr m_syncs;
    std::unique_ptr<cameraInput> m_cameraA;
    std::unique_ptr<cameraInput> m_cameraB;
    std::unique_ptr<datafileWriter> m_writer;
};

// Places a frame made by encodeRleFrame at (`syncId`, `lineCounter`) of the line stream.
void placeFrame(frameBytes* frame, uint16_t syncId, uint64_t lineCounter);
// numLines of a frame.
uint32_t frameLines(const frameBytes& frame);

// Frame entries in the datafiles of `dir`, and their bytes; false when one does not read back.
// With `remove` each is deleted once read, as the station's readers take them away.
bool countDatafileFrames(const QString& dir, int64_t* frames, int64_t* files, int64_t* bytes,
                         bool remove = false);
// Removes every file in `dir`.
void emptyDirectory(const QString& dir);

// Resident memory of this process from /proc/self/status ("VmRSS", "VmHWM"), KiB.
long residentKiB(const char* field);
