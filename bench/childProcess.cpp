#include "childProcess.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

childProcess::childProcess(const QString& program, const QStringList& args, const QString& dir,
                           const QString& log) {
    // The child changes to `dir` before it starts `program`: a relative path would miss.
    std::vector<QByteArray> strings{QFile::encodeName(QFileInfo(program).absoluteFilePath())};
    for (const QString& arg : args)
        strings.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray workDir = QFile::encodeName(dir);
    const QByteArray logPath = QFile::encodeName(log);
    m_pid = fork();
    if (m_pid == 0) {
        int out = open(logPath.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || chdir(workDir.constData()) != 0)
            _exit(127);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    m_waited = m_pid < 0;
}

childProcess::~childProcess() {
    stop();
}

bool childProcess::running() const {
    return !m_waited && cpuSoFar() >= 0.0;
}

double childProcess::cpuSoFar() const {
    if (m_waited)
        return -1.0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1.0;
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // A process that has ended but was not waited for yet ("Z") no longer runs.
    if (fields.size() < 13 || fields[0] == "Z")
        return -1.0;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

double childProcess::cpuPrecise() const {
    if (m_waited)
        return -1.0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(m_pid);
    const QStringList threads = QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty())
        return -1.0;
    double seconds = 0.0;
    for (const QString& thread : threads) {
        QFile stat(tasks + QLatin1Char('/') + thread + QStringLiteral("/schedstat"));
        // A thread that ended meanwhile took its time along; the others still count.
        if (stat.open(QIODevice::ReadOnly))
            seconds += stat.readAll().split(' ').value(0).toDouble() * 1e-9;
    }
    return seconds;
}

childUsage childProcess::stop() {
    if (m_waited)
        return m_usage;
    struct rusage usage {};
    int status = 0;
    kill(m_pid, SIGTERM);
    pid_t ended = 0;
    for (int i = 0; i < 50 && ended == 0; ++i) {
        ended = wait4(m_pid, &status, WNOHANG, &usage);
        if (ended == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(m_pid, SIGKILL);
        ended = wait4(m_pid, &status, 0, &usage);
    }
    m_waited = true;
    if (ended == m_pid) {
        m_usage.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        m_usage.peakResidentKiB = usage.ru_maxrss;
    }
    return m_usage;
}
