// Idle: the real acquire_kiv measuring with two simulated cameras that deliver no frames (a
// transfer file without frames every second each, "camera_sim --rain dry"), in a station
// folder of its own. Once the measurement runs, the CPU time the station takes over 60 s is
// read from /proc: a station waiting for rain must leave the computer to others.
#include "benchSupport.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const double TARGET_CPU_SECONDS = 0.6;
const int SECONDS = 60;
// How long the handshake may take before the measurement runs.
const int START_LIMIT = 60;

// Starts `program` with `args` in `dir`, its output appended to `log`; the process id.
pid_t start(const QString& program, const QStringList& args, const QString& dir,
            const QString& log) {
    std::vector<QByteArray> strings{QFile::encodeName(program)};
    for (const QString& arg : args)
        strings.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray workDir = QFile::encodeName(dir);
    const QByteArray logPath = QFile::encodeName(log);
    pid_t pid = fork();
    if (pid == 0) {
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
    return pid;
}

// User and system time of a running process so far, seconds; -1 when it is gone.
double processCpu(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1.0;
    // The fields after the command name, which is in parentheses and may hold blanks.
    QByteArray text = stat.readAll();
    QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1.0;
    double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

int datafiles(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("*.[0-9][0-9][0-9]")}, QDir::Files).size();
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    const QString root = optionValue(argc, argv, "--dir", QDir::tempPath());
    const QString bin = optionValue(argc, argv, "--bin", QStringLiteral(KIV_BINARY_DIR));
    const int seconds = optionValue(argc, argv, "--seconds", QString::number(SECONDS)).toInt();
    separateResults(optionMessages(argc, argv));

    QTemporaryDir folder(root + QStringLiteral("/kiv-idle-XXXXXX"));
    QDir station(folder.path());
    makeStationFolder(station.path());

    pid_t cameras =
        start(bin + QStringLiteral("/camera_sim"),
              {"--a-control", station.filePath("cam_a/control"), "--a-input",
               station.filePath("cam_a/input"), "--b-control", station.filePath("cam_b/control"),
               "--b-input", station.filePath("cam_b/input"), "--rain", "dry"},
              station.path(), station.filePath("camera_sim.log"));
    pid_t acquire = start(bin + QStringLiteral("/acquire_kiv"), {}, station.path(),
                          station.filePath("acquire_kiv.log"));

    // The measurement runs once the first synchronisation is in the sync list.
    bool measuring = false;
    for (int i = 0; i < START_LIMIT * 10 && !measuring; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        measuring = !QDir(station.filePath("sync")).entryList(QDir::Files).isEmpty();
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    double cpuStart = processCpu(acquire);
    int filesStart = datafiles(station.filePath("3sec"));
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = processCpu(acquire) - cpuStart;
    int written = datafiles(station.filePath("3sec")) - filesStart;
    bool running = measuring && cpuStart >= 0.0 && processCpu(acquire) >= 0.0;
    stop(acquire);
    stop(cameras);

    // Both cameras are heard all the while: a datafile every 3 seconds.
    bool complete = running && written >= seconds / 3 - 2;
    bool pass = complete && cpu <= TARGET_CPU_SECONDS;
    printResult(
        "idle",
        format("%.2f CPU-s in %d s (%.2f %% of a core)", cpu, seconds, 100.0 * cpu / seconds),
        format("<= %.1f CPU-s", TARGET_CPU_SECONDS), pass);
    printNote(format("acquire_kiv measuring with camera_sim --rain dry: %d datafiles of empty "
                     "frames written meanwhile%s",
                     written, complete ? "" : "; THE STATION DID NOT MEASURE"));
    return pass ? 0 : 1;
}
