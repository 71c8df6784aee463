#include "benchSupport.h"
#include "app/inputDrain.h"
#include "app/stationSetup.h"
#include "platform/stationClock.h"

#include "format/datafileReader.h"
#include "status/statusScreen.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

FILE* g_results = nullptr;
int g_errors = 0;
bool g_smoke = false;

FILE* results() {
    return g_results ? g_results : stdout;
}

} // namespace

void separateResults(const char* messageLog) {
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    int target = open(messageLog ? messageLog : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (saved < 0 || target < 0)
        return;
    dup2(target, STDOUT_FILENO);
    close(target);
    g_results = fdopen(saved, "w");
    // Standard output is no terminal any more, so the station logs plain lines there.
    statusScreen::instance();
    addLogListener([](const logEntry& entry) {
        if (entry.level == severity::error)
            ++g_errors;
    });
}

int stationErrors() {
    return g_errors;
}

int statusFileErrors(const QString& stationDir) {
    QFile file(stationDir + QStringLiteral("/acquire_kiv.status.json"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QJsonValue errors = QJsonDocument::fromJson(file.readAll()).object().value("errors");
    if (!errors.isObject())
        return -1;
    int count = 0;
    for (const QJsonValue& kind : errors.toObject())
        count += kind.toInt();
    return count;
}

void printLogErrors(const QString& log) {
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    int shown = 0;
    while (!file.atEnd() && shown < 5) {
        const QString line = QString::fromLocal8Bit(file.readLine()).trimmed();
        if (line.contains(QLatin1String("error"))) {
            printNote(line.toStdString());
            ++shown;
        }
    }
}

std::string format(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

bool optionFlag(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

bool optionSmoke(int argc, char** argv) {
    g_smoke = optionFlag(argc, argv, "--smoke");
    return g_smoke;
}

bool printResult(const char* name, const std::string& figure, const std::string& target,
                 bool complete, bool met) {
    const bool pass = complete && (g_smoke || met);
    std::fprintf(results(), "%-10s %-44s %s %-26s %s\n", name, figure.c_str(),
                 g_smoke ? "smoke " : "target", g_smoke ? "(not judged)" : target.c_str(),
                 pass ? "PASS" : "FAIL");
    std::fflush(results());
    return pass;
}

void printNote(const std::string& text) {
    std::fprintf(results(), "           %s\n", text.c_str());
    std::fflush(results());
}

double monotonicSeconds() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double cpuSeconds() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double kernelCpuSeconds() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
}

QString optionValue(int argc, char** argv, const char* name, const QString& fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return QString::fromLocal8Bit(argv[i + 1]);
    return fallback;
}

const char* optionMessages(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--messages") == 0)
            return argv[i + 1];
    return nullptr;
}

benchStation::benchStation(const QString& root, double start)
    : m_root(root + QStringLiteral("/kiv-bench-XXXXXX")), m_path(m_root.path()), m_clock(start),
      m_guard(&m_clock) {
    const QByteArray configPath = QFile::encodeName(makeStationFolder(m_path));
    m_syncs = syncListPtr(new syncList());
    m_cameraA = makeCameraInput(m_syncs, 1, configPath.constData());
    m_cameraB = makeCameraInput(m_syncs, 2, configPath.constData());
    m_writer = std::make_unique<datafileWriter>(configPath.constData());
}

benchStation::~benchStation() = default;

uint16_t benchStation::synchronise() {
    cameraParams params;
    resetCameraParams(&params);
    params.cameraId = CAM_KIV;
    m_syncs->addSync(params);
    return m_syncs->currentSyncId();
}

void benchStation::recordedUntil(uint64_t line) {
    const syncPointPtr sync = m_syncs->find(m_syncs->currentSyncId());
    const double recorded = absoluteTime(sync.data(), double(line));
    if (recorded > m_clock.now())
        m_clock.set(recorded);
}

int benchStation::pollAndProcess() {
    inputDrain drain{m_cameraA.get(), m_cameraB.get(), m_writer.get(),
                     m_cameraA->collectInput() != 0, m_cameraB->collectInput() != 0};
    return drainInput(&drain, monotonicSecond() + STATION_PROCESSING_WINDOW, nullptr);
}

QString benchStation::inputDir(int camera) const {
    return m_path + QLatin1Char('/') + cameraDir(camera, "input");
}

void placeFrame(frameBytes* frame, uint16_t syncId, uint64_t lineCounter) {
    std::memcpy(frame->data() + 4, &syncId, 2);
    std::memcpy(frame->data() + 6, &lineCounter, 8);
}

uint32_t frameLines(const frameBytes& frame) {
    uint16_t lines;
    std::memcpy(&lines, frame.data() + 14, 2);
    return lines;
}

bool countDatafileFrames(const QString& dir, int64_t* frames, int64_t* files, int64_t* bytes,
                         bool remove) {
    *frames = *files = *bytes = 0;
    QDir out(dir);
    for (const QString& name : out.entryList(QDir::Files, QDir::Name)) {
        // A datafile still being written has its ".part" name.
        if (name == QLatin1String("video.dat") || name.endsWith(QLatin1String(".part")))
            continue;
        QFile file(out.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray data = file.readAll();
        datafileContent content;
        datafileProblem problem;
        if (!readDatafile(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()),
                          &content, &problem))
            return false;
        *frames += int64_t(content.entries.size());
        *files += 1;
        *bytes += data.size();
        if (remove)
            out.remove(name);
    }
    return true;
}

void emptyDirectory(const QString& dir) {
    QDir d(dir);
    for (const QString& name : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
        d.remove(name);
}

long residentKiB(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long value = -1;
    size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = std::strtol(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return value;
}
