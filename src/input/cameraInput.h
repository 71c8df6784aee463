// The input of one camera: its input, working and control directories, the name filters of
// its files, the poll that moves everything the camera delivered into the working directory
// (in-process, never through a command interpreter), and the processing of those files one by
// one into the camera's frame queue. Every operation on the camera's input and control
// directories goes through the camera's share (platform/cameraShare.h).
#pragma once

#include "output/cameraQueue.h"
#include "platform/cameraShare.h"
#include "platform/fileOps.h"
#include "sync/syncList.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>

// Flags returned by collectInput: which kinds of the camera's files wait in the working
// directory.
enum { INPUT_TRANSFER = 1, INPUT_NORM = 2, INPUT_LOG = 4 };
// Results of processNextFile.
enum { PROCESSED_NOTHING = 0, PROCESSED_TRANSFER = 1, PROCESSED_NORM = 2, PROCESSED_LOG = 4 };

// The largest camera files the station takes, by kind. A camera that holds its data back for
// more than 10 s is judged silent, so one transfer file covers at most some 10 s; a 3-s
// datafile holds 4 MiB of both cameras, so 10 s of one camera stay below 14 MiB, and 64 MiB
// leaves four times that. A norm-video file is one text line per pixel of the 1024-pixel
// sensor (under 128 KiB); a camera log file is text the camera writes every few minutes.
const int64_t MAX_TRANSFER_FILE_SIZE = int64_t(64) << 20;
const int64_t MAX_NORM_FILE_SIZE = int64_t(1) << 20;
const int64_t MAX_LOG_FILE_SIZE = int64_t(4) << 20;

// What the station configuration sets of a camera's input (app/stationSetup.h).
struct cameraInputConfig {
    QString inputDir;
    QString controlDir;
    QString workDir;
    bool rebootAtResync = false;
};

// The file processNextFile handled last, for the screen and the health files.
struct handledFile {
    QString name;            // escaped as every name from a share; empty when none was handled
    uint32_t size = 0;       // bytes
    uint32_t newRecords = 0; // records a transfer file added to the queue
    bool taken = false;      // it was removed: more of the camera's files may wait behind it
};

class cameraInput {
public:
    // The input of camera `kind` (1 or 2) with the default directories, on a local share
    // until useShare. The station configuration is applied to it from outside
    // (app/stationSetup.h), then start().
    cameraInput(const syncListPtr& syncs, uint32_t kind);
    ~cameraInput();
    cameraInput(const cameraInput&) = delete;
    cameraInput& operator=(const cameraInput&) = delete;

    // The configuration in force, and a new one (before start()).
    cameraInputConfig config() const;
    void configure(const cameraInputConfig& config);
    // The share through which the input and control directories are reached (the caller
    // keeps it for as long as the input lives); null: a local folder, unbounded.
    void useShare(cameraShare* share);
    cameraShare& share() const { return *m_share; }

    // prepareInput, then the start-up clean-up of the working directory and the transfer of
    // waiting camera log files.
    void start();
    // Sets the filters, makes the directories absolute and checks them; true when the kind is
    // 1 or 2 and all three directories exist. An input found wanting is checked again at every
    // poll until it is not.
    bool prepareInput();
    // One poll: moves every file of the camera from the input directory into the working
    // directory; returns the INPUT_ flags of what waits there (0 when nothing was moved).
    uint8_t collectInput();
    // Deletes every file of this camera in the working directory; true when all went.
    bool removeWorkFiles();
    // Handles the first of the camera's files in the working directory (name order) and
    // deletes it; returns a PROCESSED_ value.
    uint8_t processNextFile();

    const handledFile& lastFile() const { return m_lastFile; }
    const QString& inputDir() const { return m_inputDir; }
    const QString& controlDir() const { return m_controlDir; }
    const QString& workDir() const { return m_workDir; }
    // The name filter of the camera's transfer files ("*.a.cam"), and of all its files.
    const QString& transferFilter() const { return m_transferFilter; }
    bool rebootAtResync() const { return m_rebootAtResync; }
    const syncListPtr& syncs() const { return m_syncList; }
    cameraQueue& queue() { return m_queue; }
    const cameraQueue& queue() const { return m_queue; }
    cam camera() const { return m_queue.camera(); }
    uint32_t cameraId() const { return m_queue.cameraId(); }

private:
    // Moves every file of the camera from the input directory into the working directory; a
    // file whose name already waits there stays behind. False when nothing was found or a move
    // failed (reported on standard error).
    bool pProcessInputDirectory();
    // Moves `names` from the input directory into the working directory, leaving a file behind
    // whose name already waits there. A file that cannot be moved while the next one can is
    // reported and set aside (see m_setAside); when the next one cannot be moved either, the
    // working directory refuses new entries, and the first holds back the files after it (see
    // m_heldBack) until it moves, or for SET_ASIDE_RETRY seconds, after which it is set aside.
    // One too large is removed.
    void moveIntoWorkDir(const QStringList& names);
    struct refusedMove {
        QString name;
        fileStamp stamp;
        int error = 0;
    };
    // True when the files after `refused` wait for it (told once until a move succeeds again);
    // false once it was held back too long and is set aside.
    bool holdBack(const refusedMove& refused);
    void setAsideUnmovable(const refusedMove& refused);
    // A move the share left unanswered, settled once the share answers: the file is taken from
    // the working directory when it has left the input directory; otherwise a copy that may
    // have reached the working directory goes, and the file is moved again. False while the
    // share has not answered.
    bool settleLateMove();
    // Reports once each file of the input directory the station cannot take at all (a name
    // that is no valid text, a link, a FIFO) and forgets set-aside files that have gone.
    void noteUnusableInput(const shareListing& listing);
    // Reports the input file `rawName` as set aside for `reason`, once while it stays as it is.
    void setAside(const QByteArray& rawName, const fileStamp& stamp, const QString& reason);
    // True, reported, when the camera's file `name` is larger than a file of its kind can be
    // (see MAX_TRANSFER_FILE_SIZE); the caller removes it.
    bool tooLarge(const QString& name, uint64_t size) const;
    // Appends the camera log files waiting in the working directory to the daily logs and
    // removes them, so that no camera log is lost to a clean-up; false when one stayed.
    bool pFlushWorkLogs();
    // Camera logs to the daily logs, then every other file of the camera deleted.
    bool pClearWorkDir();
    // Handles the camera's file `name` in the working directory (unless it was handled before)
    // and removes it; returns a PROCESSED_ value, with the file's size and whether it went.
    uint8_t pTakeFile(const QString& name, uint64_t* size, bool* removed);
    // Handles the file at `path` by its kind; returns a PROCESSED_ value.
    uint8_t handleFile(const QString& path, const QString& name);
    // Reads the transfer file at `path` into the queue; returns a PROCESSED_ value.
    uint8_t handleTransferFile(const QString& path, const QString& name);

    // The next waiting file of the camera in name order, from the kept listing of the working
    // directory; false when none waits.
    bool nextWaitingFile(QString* name);
    // Takes `names` (sorted) as the current listing of the working directory.
    void takeListing(const QStringList& names);

    cameraQueue m_queue;
    syncListPtr m_syncList;
    cameraShare m_localShare; // the share while none was given: a local folder
    cameraShare* m_share;
    bool m_rebootAtResync = false;
    bool m_valid = false;      // the last prepareInput found the kind and all directories
    bool m_unanswered = false; // ... or could not tell: the share did not answer
    QString m_inputDir;
    QString m_workDir;
    QString m_controlDir;
    QString m_transferFilter;
    QString m_logFilter;
    QString m_normFilter;
    handledFile m_lastFile;

    QStringList m_waiting;      // the camera's files in the working directory, sorted by name
    int m_waitingIndex = 0;     // first entry of m_waiting not yet handled
    bool m_listingStale = true; // the working directory changed since m_waiting was taken
    // The name of a file whose move into the working directory the share left unanswered; it
    // is not taken from there, and nothing after it is moved, until the move is settled.
    QString m_lateMove;
    // Files handled but not removed: they are only ever removed again, never handled a second
    // time, or a camera log would be appended to the daily log over and over.
    QHash<QString, fileStamp> m_undeleted;
    // Files of the input directory that could not be taken, by their name as the file system
    // has it: each was reported once and is skipped while it stays as it was, but tried again
    // now and then (a full working directory may have room again).
    struct setAsideFile {
        fileStamp stamp;
        int64_t since;
    };
    QHash<QByteArray, setAsideFile> m_setAside;
    // The file that could not be moved into the working directory at the last try, and since
    // when: the camera's later files wait for it, so that none is read before it (its lines
    // would then be refused as out of time order). A working directory that refuses new
    // entries for a while (full, or busy) thus loses nothing.
    QString m_heldBack;
    int64_t m_heldSince = 0;
    bool m_holdTold = false; // the holding back was told; again only after a move succeeded
    // Transfer files of synchronisations an earlier run handed out, refused since the last
    // summary: a restart finds them by the dozen, and says so in one line per camera.
    struct earlierRunFiles {
        int count = 0;
        QString first;
        QString last;
        void add(const QString& name);
        // Logs the summary of the files added since the last one, if any.
        void report(char camera);
    };
    earlierRunFiles m_earlierRunFiles;
};
