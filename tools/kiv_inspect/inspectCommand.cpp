#include "kiv_inspect/inspectCommand.h"

#include "kiv_inspect/datafilePicture.h"
#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/dayExport.h"
#include "kiv_inspect/dayPicture.h"
#include "kiv_inspect/deliveredFileSummary.h"
#include "kiv_inspect/fileKind.h"
#include "kiv_inspect/inputFile.h"
#include "kiv_inspect/pngFile.h"
#include "kiv_inspect/stationStatus.h"
#include "kiv_inspect/syncListFile.h"
#include "kiv_inspect/transferSummary.h"
#include "kiv_inspect/verifyDirectory.h"
#include "kiv_inspect/videoDat.h"
#include "kiv_inspect/videoPlot.h"

#include "platform/version.h"
#include "sync/timeConv.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <ctime>

namespace {

// Larger than any file a camera computer delivers.
const int64_t CAMERA_FILE_LIMIT = int64_t(64) << 20;

struct options {
    bool json = false;
    bool verify = false;
    bool status = false;
    bool help = false;
    bool version = false;
    QString image; // output path of the picture
    QString day;   // datafile directory of the day view
    QString date;  // its day, YYYY-MM-DD
    QString csv;   // output path of the day's minute table
    QString sync;  // its sync list file
    QString from;  // the window of the day's picture, HH:MM
    QString to;
    int threads = 2;
    QStringList files;
};

// Options that take a value, and where it goes.
QString* valueOption(const QString& name, options* o) {
    if (name == QLatin1String("--image"))
        return &o->image;
    if (name == QLatin1String("--day"))
        return &o->day;
    if (name == QLatin1String("--date"))
        return &o->date;
    if (name == QLatin1String("--csv"))
        return &o->csv;
    if (name == QLatin1String("--sync"))
        return &o->sync;
    if (name == QLatin1String("--from"))
        return &o->from;
    if (name == QLatin1String("--to"))
        return &o->to;
    return nullptr;
}

// The minute of the day of "HH:MM" (up to "24:00"), or -1.
int minuteOfDay(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool hoursOk = false;
    bool minutesOk = false;
    const int hours = parts.size() == 2 ? parts[0].toInt(&hoursOk) : -1;
    const int minutes = parts.size() == 2 ? parts[1].toInt(&minutesOk) : -1;
    if (!hoursOk || !minutesOk || parts[1].size() != 2 || hours < 0 || minutes < 0 ||
        minutes > 59 || hours * 60 + minutes > DAY_MINUTES)
        return -1;
    return hours * 60 + minutes;
}

QString jsonText(const QJsonObject& object) {
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented));
}

// Parses the arguments; false with `error` set on wrong usage.
bool parseOptions(const QStringList& arguments, options* o, QString* error) {
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--json")) {
            o->json = true;
        } else if (a == QLatin1String("--verify")) {
            o->verify = true;
        } else if (a == QLatin1String("--status")) {
            o->status = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o->help = true;
        } else if (a == QLatin1String("--version")) {
            o->version = true;
        } else if (a == QLatin1String("--threads")) {
            bool ok = i + 1 < arguments.size();
            o->threads = ok ? arguments[++i].toInt(&ok) : 0;
            if (!ok || o->threads < 1 || o->threads > 64) {
                *error = QStringLiteral("--threads needs a number from 1 to 64");
                return false;
            }
        } else if (QString* value = valueOption(a, o)) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            *value = arguments[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("unknown option %1").arg(a);
            return false;
        } else {
            o->files << a;
        }
    }
    if (o->help || o->version)
        return true;
    if (!o->day.isEmpty()) {
        if (o->verify || o->status || !o->files.isEmpty())
            *error = QStringLiteral("--day takes no files and neither --verify nor --status");
        const int from = o->from.isEmpty() ? 0 : minuteOfDay(o->from);
        const int to = o->to.isEmpty() ? DAY_MINUTES : minuteOfDay(o->to);
        if (from < 0 || to < 0 || to <= from)
            *error = QStringLiteral("--from and --to take HH:MM, the first before the second");
        return error->isEmpty();
    }
    if (!o->date.isEmpty() || !o->csv.isEmpty() || !o->sync.isEmpty() || !o->from.isEmpty() ||
        !o->to.isEmpty()) {
        *error = QStringLiteral("--date, --csv, --sync, --from and --to belong to --day");
        return false;
    }
    if (o->status) {
        if (o->verify || o->json || !o->image.isEmpty() || o->files.size() > 1)
            *error =
                QStringLiteral("--status takes at most one station folder and no other option");
        return error->isEmpty();
    }
    if (o->verify && !o->image.isEmpty()) {
        *error = QStringLiteral("--verify and --image do not go together");
        return false;
    }
    if (!o->image.isEmpty()) {
        if (o->json)
            *error = QStringLiteral("--json applies to the summary and --verify only");
        else if (o->files.isEmpty())
            *error = QStringLiteral("--image needs at least one datafile");
        return error->isEmpty();
    }
    if (o->files.size() != 1) {
        *error = o->verify ? QStringLiteral("--verify needs exactly one directory")
                           : QStringLiteral("give exactly one file to summarise");
        return false;
    }
    return true;
}

// Reads a file for a summary; false with a message in `err` when it cannot be read or is
// larger than `limit`.
bool readForSummary(const QString& path, int64_t limit, bool exact, QByteArray* bytes,
                    QString* err) {
    QString error;
    if (!readInputFile(path, limit, bytes, &error)) {
        *err += error + QLatin1Char('\n');
        return false;
    }
    if (!exact && bytes->size() > limit) {
        *err += QStringLiteral("%1: larger than %2 bytes, which no camera file is\n")
                    .arg(path)
                    .arg(limit);
        return false;
    }
    return true;
}

// The first bytes of the file at `path`, enough to tell its kind; empty when unreadable.
QByteArray headOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(64) : QByteArray();
}

int summarise(const options& o, QString* out, QString* err) {
    const QString& path = o.files.front();
    QString name = baseName(path);
    int camera = cameraOfFile(name);
    QByteArray bytes;
    switch (kindOfFile(name, headOf(path))) {
    case KIND_NORM_VIDEO: {
        normVideoReport r = inspectNormVideoFile(path, camera);
        *out += o.json ? jsonText(normVideoSummaryJson(r)) : normVideoSummaryText(r);
        return r.readable ? INSPECT_INTACT : INSPECT_DAMAGED;
    }
    case KIND_CAMERA_LOG: {
        if (!readForSummary(path, CAMERA_FILE_LIMIT, false, &bytes, err))
            return INSPECT_DAMAGED;
        cameraLogReport r = inspectCameraLogFile(name, camera, bytes);
        *out += o.json ? jsonText(cameraLogSummaryJson(r)) : cameraLogSummaryText(r);
        return INSPECT_INTACT;
    }
    case KIND_TRANSFER: {
        if (!readForSummary(path, CAMERA_FILE_LIMIT, false, &bytes, err))
            return INSPECT_DAMAGED;
        transferReport r = inspectTransferFile(name, bytes);
        *out += o.json ? jsonText(transferSummaryJson(r)) : transferSummaryText(r);
        return r.intact() ? INSPECT_INTACT : INSPECT_DAMAGED;
    }
    case KIND_SYNC_LIST: {
        syncListReport r = readSyncList(path);
        *out += o.json ? jsonText(syncListSummaryJson(r)) : syncListSummaryText(r);
        return r.readable ? INSPECT_INTACT : INSPECT_DAMAGED;
    }
    case KIND_VIDEO_DAT: {
        videoDatReport r = readVideoDat(path);
        *out += o.json ? jsonText(videoDatSummaryJson(r)) : videoDatSummaryText(r);
        return r.readable ? INSPECT_INTACT : INSPECT_DAMAGED;
    }
    case KIND_DATAFILE:
        break;
    }
    // The datafile reader itself names a file beyond the writer's buffer as damaged.
    if (!readForSummary(path, DATAFILE_BUFFER_SIZE, true, &bytes, err))
        return INSPECT_DAMAGED;
    datafileVerdict v = checkDatafile(name, bytes);
    *out += o.json ? jsonText(datafileSummaryJson(v)) : datafileSummaryText(v);
    return v.intact() ? INSPECT_INTACT : INSPECT_DAMAGED;
}

int verify(const options& o, QString* out, QString* err) {
    verifyReport r = verifyDirectory(o.files.front());
    if (!r.listed) {
        *err += QStringLiteral("%1 is not a readable directory\n").arg(r.directory);
        return INSPECT_DAMAGED;
    }
    *out += o.json ? jsonText(verifyJson(r)) : verifyText(r);
    return r.intact() ? INSPECT_INTACT : INSPECT_DAMAGED;
}

bool writePicture(const raster& picture, const QString& path, QString* err) {
    QString error;
    if (writePng(picture, path, &error))
        return true;
    *err += error + QLatin1Char('\n');
    return false;
}

int videoPicture(const options& o, QString* out, QString* err) {
    std::vector<videoDatReport> files;
    for (const QString& path : o.files) {
        files.push_back(readVideoDat(path));
        if (!files.back().readable) {
            *err += QStringLiteral("%1: %2\n").arg(path, files.back().problem);
            files.pop_back();
        }
    }
    videoLayout layout;
    raster picture = drawVideoPlot(files, &layout);
    if (picture.isNull() || !writePicture(picture, o.image, err)) {
        *err += QStringLiteral("no picture written\n");
        return INSPECT_DAMAGED;
    }
    *out += QStringLiteral("picture %1: %2 x %3 pixels, %4\n")
                .arg(o.image)
                .arg(picture.width())
                .arg(picture.height())
                .arg(plural(int64_t(files.size()), "video.dat file", "video.dat files"));
    return files.size() == size_t(o.files.size()) ? INSPECT_INTACT : INSPECT_DAMAGED;
}

int picture(const options& o, QString* out, QString* err) {
    int videoFiles = 0;
    for (const QString& path : o.files)
        videoFiles += kindOfFile(baseName(path), headOf(path)) == KIND_VIDEO_DAT;
    if (videoFiles == o.files.size())
        return videoPicture(o, out, err);
    if (videoFiles > 0) {
        *err += QStringLiteral("--image draws datafiles or video.dat files, not both\n");
        return INSPECT_USAGE;
    }
    QStringList problems;
    datafilePicture picture = drawDatafiles(o.files, &problems);
    for (const QString& p : problems)
        *err += p + QLatin1Char('\n');
    if (picture.image.isNull()) {
        *err += QStringLiteral("no picture written\n");
        return INSPECT_DAMAGED;
    }
    if (!writePicture(picture.image, o.image, err))
        return INSPECT_DAMAGED;
    *out += QStringLiteral("picture %1: %2 x %3 pixels, %4")
                .arg(o.image)
                .arg(picture.image.width())
                .arg(picture.image.height())
                .arg(plural(int64_t(o.files.size()), "datafile", "datafiles"));
    if (picture.linesPerRow > 1)
        *out += QStringLiteral(", scaled: 1 row = %1 lines").arg(picture.linesPerRow);
    *out += QLatin1Char('\n');
    return problems.isEmpty() ? INSPECT_INTACT : INSPECT_DAMAGED;
}

bool writeText(const QString& path, const QString& text, QString* err) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(text.toUtf8()) == text.toUtf8().size() && file.flush())
        return true;
    *err += QStringLiteral("cannot write %1\n").arg(path);
    return false;
}

// The CSV of the pixels beside the one of the minutes: "day.csv" gives "day.pixels.csv".
QString pixelsCsvPath(const QString& path) {
    QString stem = path.endsWith(QLatin1String(".csv")) ? path.chopped(4) : path;
    return stem + QStringLiteral(".pixels.csv");
}

int dayView(const options& o, QString* out, QString* err) {
    if (!QFileInfo(o.day).isDir()) {
        *err += QStringLiteral("%1 is not a readable directory\n").arg(o.day);
        return INSPECT_DAMAGED;
    }
    int64_t dayStart = o.date.isEmpty() ? newestDay(o.day) : dayOfDate(o.date);
    if (dayStart < 0) {
        *err += o.date.isEmpty() ? QStringLiteral("%1 holds no datafile; give --date\n").arg(o.day)
                                 : QStringLiteral("--date %1 is no date YYYY-MM-DD\n").arg(o.date);
        return o.date.isEmpty() ? INSPECT_DAMAGED : INSPECT_USAGE;
    }
    QString sync = o.sync.isEmpty() ? findSyncList(o.day, dayStart) : o.sync;
    int64_t now = int64_t(std::time(nullptr));
    dayFigures day = scanDay(o.day, dayStart, sync, now + localOffset(now), o.threads);
    bool written = true;
    if (!o.image.isEmpty()) {
        dayLayout layout;
        const int from = o.from.isEmpty() ? 0 : minuteOfDay(o.from);
        const int to = o.to.isEmpty() ? DAY_MINUTES : minuteOfDay(o.to);
        raster picture = drawDay(day, &layout, from, to - from);
        QString error;
        written = writePng(picture, o.image, &error);
        if (!written)
            *err += error + QLatin1Char('\n');
    }
    if (!o.csv.isEmpty())
        written = writeText(o.csv, dayMinutesCsv(day), err) &&
                  writeText(pixelsCsvPath(o.csv), dayPixelsCsv(day), err) && written;
    *out += o.json ? jsonText(dayJson(day)) : dayText(day);
    return written ? INSPECT_INTACT : INSPECT_DAMAGED;
}

} // namespace

QString inspectUsage() {
    return QStringLiteral(
        "usage: kiv_inspect [--json] FILE\n"
        "       kiv_inspect [--json] --verify DIR\n"
        "       kiv_inspect --image OUT.png DATAFILE...\n"
        "       kiv_inspect --image OUT.png VIDEO_DAT...\n"
        "       kiv_inspect --day DIR [--date YYYY-MM-DD] [--image OUT.png] [--csv OUT.csv]\n"
        "                   [--from HH:MM] [--to HH:MM] [--sync SYNC_LIST] [--threads N]\n"
        "                   [--json]\n"
        "       kiv_inspect --status [STATION_DIR]\n"
        "       kiv_inspect --help | --version\n"
        "\n"
        "FILE is a datafile, a transfer file (*.a.cam, *.b.cam), a norm-video file\n"
        "(*.norm.a.cam, *.norm.b.cam), a camera log file (*.log.a.cam, *.log.b.cam, the\n"
        "daily vYYDDD_1.a.log, .b.log), a sync list (vYYDDD_1.sync.log) or video.dat;\n"
        "each is recognised by its name (video.dat also by its first bytes).\n"
        "--verify checks every datafile of a datafile directory, lists the gaps between\n"
        "intervals and the .part files left behind. --image draws the shadow segments of\n"
        "the datafiles' frames, camera A left and camera B right, one row per camera line;\n"
        "more lines than fit are scaled, and the picture says so. Of video.dat files it\n"
        "draws the raw and normalised lines of both cameras, of several copies as bands.\n"
        "--day pictures one local day of a datafile directory (default: the newest):\n"
        "frames per minute of camera A and B, their ratio, each pixel's shadow occupancy,\n"
        "the share of intervals present per minute, missing while the station ran or\n"
        "while it did not run, each camera's outages while the other saw rain, and the\n"
        "synchronisations of the day's sync list (found in DIR or in ../sync). --from and\n"
        "--to draw a window of the day across the whole picture. --csv writes the minutes\n"
        "to OUT.csv and the pixels to OUT.pixels.csv; --json prints the same figures.\n"
        "--status shows the station's status file (acquire_kiv.status.json) on one screen.\n"
        "\n"
        "Exit status: 0 intact, 1 damaged or unreadable, 2 wrong usage.\n"
        "--status: 0 OK, 1 STALE, STOPPED or a condition of the alert rules, 2 no readable\n"
        "status file or wrong usage.\n");
}

int runInspect(const QStringList& arguments, QString* out, QString* err) {
    options o;
    QString error;
    if (!parseOptions(arguments, &o, &error)) {
        *err += QStringLiteral("kiv_inspect: %1\n\n").arg(error) + inspectUsage();
        return INSPECT_USAGE;
    }
    if (o.help) {
        *out += inspectUsage();
        return INSPECT_INTACT;
    }
    if (o.version) {
        *out += QStringLiteral("kiv_inspect %1\n").arg(QLatin1String(PROGRAM_VERSION));
        return INSPECT_INTACT;
    }
    if (o.status)
        return showStationStatus(o.files.isEmpty() ? QStringLiteral(".") : o.files.front(), out,
                                 err);
    if (!o.day.isEmpty())
        return dayView(o, out, err);
    if (o.verify)
        return verify(o, out, err);
    if (!o.image.isEmpty())
        return picture(o, out, err);
    return summarise(o, out, err);
}
