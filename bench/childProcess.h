// A program a benchmark starts as a process of its own (acquire_kiv, camera_sim): started in a
// folder with its output in a log, measured by its own process id only, and stopped and
// waited for by that id when the benchmark is done with it or leaves early.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// What a stopped process used over its whole life, from wait4.
struct childUsage {
    double cpuSeconds = -1.0; // user and system; -1 when it could not be had
    long peakResidentKiB = -1;
};

class childProcess {
public:
    // Starts `program` with `args` in `dir`, standard output and error appended to `log`.
    childProcess(const QString& program, const QStringList& args, const QString& dir,
                 const QString& log);
    // Stops the process if it still runs.
    ~childProcess();
    childProcess(const childProcess&) = delete;
    childProcess& operator=(const childProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // True while the process runs (it has not been waited for and /proc still shows it).
    bool running() const;
    // User and system time so far from /proc/PID/stat, seconds; -1 when it is gone.
    double cpuSoFar() const;
    // Time on a processor so far, summed over its threads from /proc/PID/task/*/schedstat:
    // nanoseconds where /proc/PID/stat counts clock ticks. Seconds; -1 when it is gone.
    double cpuPrecise() const;
    // SIGTERM, up to 5 s to end, then SIGKILL; waits for it and answers what it used.
    childUsage stop();

private:
    pid_t m_pid = -1;
    bool m_waited = false;
    childUsage m_usage;
};
