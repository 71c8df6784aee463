// The camera shares attacked, as someone with write access to them or an unlucky operator
// would: links, FIFOs and files the station cannot take planted under the names it uses, files
// swapped between the listing and the copy, frames of a lying clock, files far too large, names
// with control characters. Each on a whole station in one process: nothing outside the
// station's own files changes, the heartbeat goes on, and every good frame reaches its datafile.
#include "format/rleCodec.h"
#include "support/simulatedStation.h"
#include "support/stationFolder.h"
#include "support/transferFiles.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const double START = 1700006400.0 + 10 * 3600 + 5; // five seconds after a full hour (UTC)
const QByteArray OUTSIDE_TEXT = "a file outside the station\n";

// A file outside the station folder that links on the shares point to, and the station's own
// configuration, which they point to as well.
struct guardedFiles {
    explicit guardedFiles(simulatedStation& s)
        : victim(outside.filePath("victim.txt")), settings(s.fixture.dir.file("acquire_kiv.set")),
          settingsBytes(s.fixture.dir.read("acquire_kiv.set")) {
        writeWhole(victim, OUTSIDE_TEXT);
    }
    QTemporaryDir outside;
    QString victim;
    QString settings;
    QByteArray settingsBytes;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The daily camera logs of the station, all in one.
QByteArray dailyLogs(simulatedStation& s) {
    QByteArray all;
    for (const QString& name : s.fixture.dir.list("log"))
        all += s.fixture.dir.read("log/" + name);
    return all;
}

// After an attack: the guarded files keep their bytes and no daily log holds the outside
// file's text, the heartbeat is still written, and no good frame was lost.
void expectUnharmed(simulatedStation& s, const guardedFiles& guarded) {
    EXPECT_EQ(readAll(guarded.victim), OUTSIDE_TEXT);
    EXPECT_EQ(readAll(guarded.settings), guarded.settingsBytes);
    EXPECT_FALSE(dailyLogs(s).contains(OUTSIDE_TEXT));
    QFile::remove(s.fixture.dir.file("check_kiv.txt"));
    s.run(2);
    EXPECT_TRUE(s.fixture.dir.exists("check_kiv.txt")) << "heartbeat";
    expectNoFrameLost(s);
}

bool makeLink(const QString& target, const QString& link) {
    return symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// Writes `content` to a file whose name is given as the file system's bytes.
bool writeRaw(const QByteArray& path, const QByteArray& content) {
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool ok = write(fd, content.constData(), size_t(content.size())) == content.size();
    return close(fd) == 0 && ok;
}

bool makeFifo(const QString& path) {
    return mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

// Camera A's input directory on another file system than the working directory (as a share
// is), or empty when there is none.
QString otherFileSystemDir() {
    const QString dir = QStringLiteral("/dev/shm/kiv_attack_%1").arg(getpid());
    QDir().mkpath(dir);
    struct stat a, b;
    if (stat("/dev/shm", &a) != 0 || stat(".", &b) != 0 || a.st_dev == b.st_dev)
        return QString();
    return dir;
}

} // namespace

TEST(shareAttacks, linksPlantedUnderControlPartNamesAreNeverWrittenThrough) {
    simulatedStation s(START);
    guardedFiles guarded(s);
    measureFor(s, 8);
    ASSERT_TRUE(makeLink(guarded.victim, s.fixture.a->control("resync.part")));
    ASSERT_TRUE(makeLink(guarded.settings, s.fixture.a->control("cancel.part")));
    ASSERT_TRUE(makeLink(guarded.settings, s.fixture.b->control("acquire.par.part")));
    ASSERT_TRUE(makeLink(guarded.victim, s.fixture.b->control("resync.part")));
    // A reboot request makes the station send every command and push parameters again.
    s.fixture.dir.write("3sec/REBOOT", "");
    ASSERT_TRUE(s.runUntil([&] { return s.count("RESYNC") == 1; }, 10));
    ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 60)) << s.tail(40).toStdString();
    s.run(20);

    EXPECT_EQ(s.countStarting("error"), 0) << s.tail(40).toStdString();
    expectUnharmed(s, guarded);
}

// Files in camera A's input directory that the station cannot take: each is reported once,
// escaped, and left where it is; camera A is not judged silent and its other files go on.
TEST(shareAttacks, oneInputFileTheStationCannotTakeIsSetAsideOnce) {
    struct plantedFile {
        const char* what;
        const char* suffix; // after a name that sorts among camera A's files
        std::function<bool(const QString& path, const guardedFiles&)> plant;
        bool unmovable; // the share refuses to let it go
    };
    const auto file = [](const QString& path, const guardedFiles&) {
        return writeWhole(path, "x");
    };
    const std::vector<plantedFile> cases = {
        {"a name that is no valid text", "\xff\xfe.a.cam",
         [](const QString& path, const guardedFiles&) {
             return writeRaw(QFile::encodeName(path).replace("\xef\xbf\xbd", "\xff"), "x");
         },
         false},
        {"a file the share will not let go", ".a.cam", file, true},
        {"a link to a file outside", ".log.a.cam",
         [](const QString& path, const guardedFiles& g) { return makeLink(g.victim, path); },
         false},
        {"a FIFO", ".a.cam",
         [](const QString& path, const guardedFiles&) { return makeFifo(path); }, false},
    };
    for (const plantedFile& c : cases) {
        SCOPED_TRACE(c.what);
        simulatedStation s(START);
        guardedFiles guarded(s);
        measureFor(s, 8);
        const QByteArray raw = QFile::encodeName(nameAtNow(s, "")) + c.suffix;
        const QString path =
            QFile::decodeName(QFile::encodeName(s.fixture.a->inputDir) + "/" + raw);
        ASSERT_TRUE(c.plant(path, guarded));
        scopedFileFaults refuse([&](fileOp op, const QString& p) {
            return c.unmovable && op == fileOp::RENAME && p == path;
        });
        s.run(30);

        EXPECT_EQ(s.countStarting("error : input file "), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.countStarting("error"), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.count("RESYNC"), 0) << s.tail(40).toStdString();
        expectUnharmed(s, guarded);
    }
}

// Camera A's share on another file system: the file is copied, so what lies under its name at
// the moment of the copy is what counts. Swapped for a FIFO or a link after the listing, given
// a name too long for the copy's temporary name, or refused removal by a read-only share: set
// aside and reported once, and camera A goes on.
TEST(shareAttacks, aFileOnAnotherFileSystemThatCannotBeCopiedIsSetAsideOnce) {
    struct swapCase {
        const char* what;
        int nameLength; // of the planted file's name, 0: the usual length
        std::function<void(const QString& path, const guardedFiles&)> swap; // at the copy
        bool undeletable;
    };
    const std::vector<swapCase> cases = {
        {"swapped for a FIFO", 0,
         [](const QString& path, const guardedFiles&) {
             QFile::remove(path);
             makeFifo(path);
         },
         false},
        {"swapped for a link", 0,
         [](const QString& path, const guardedFiles& g) {
             QFile::remove(path);
             makeLink(g.victim, path);
         },
         false},
        {"a name of 254 bytes", 254, nullptr, false},
        {"on a read-only share", 0, nullptr, true},
    };
    for (const swapCase& c : cases) {
        SCOPED_TRACE(c.what);
        QString shared;
        simulatedStation s(START, [&](simulatorSettings& settings) {
            // Made before the station, in its folder (the working directory): camera A's input
            // directory becomes a link to one on the other file system.
            if (settings.camera != CAM_A || (shared = otherFileSystemDir()).isEmpty())
                return;
            QDir().rmdir("cam_a/input");
            makeLink(shared, "cam_a/input");
        });
        if (shared.isEmpty())
            GTEST_SKIP() << "no second file system";
        guardedFiles guarded(s);
        measureFor(s, 8);
        QString name = nameAtNow(s, ".log.a.cam");
        if (c.nameLength > 0)
            name.insert(name.size() - 10, QString(c.nameLength - name.size(), 'x'));
        const QString path = s.fixture.a->inputDir + "/" + name;
        ASSERT_TRUE(writeWhole(path, "camera log line\n"));
        scopedFileFaults atCopy([&](fileOp op, const QString& p) {
            if (p != path)
                return false;
            if (op == fileOp::COPY && c.swap)
                c.swap(path, guarded);
            return op == fileOp::REMOVE && c.undeletable;
        });
        s.run(30);

        EXPECT_EQ(s.countStarting("error : input file "), 1) << s.tail(40).toStdString();
        EXPECT_EQ(s.count("RESYNC"), 0) << s.tail(40).toStdString();
        EXPECT_FALSE(dailyLogs(s).contains("camera log line")) << "nor was it taken twice";
        expectUnharmed(s, guarded);
        QDir(shared).removeRecursively();
    }
}

// A transfer file of camera A whose line counters lie an hour ahead: its frames are refused
// with one message, and camera A's later files, also after a resync, are taken as before.
TEST(shareAttacks, aTransferFileAnHourAheadBlindsNoCamera) {
    simulatedStation s(START);
    guardedFiles guarded(s);
    measureFor(s, 8);
    const syncPointPtr sync = s.loop->currentSync();
    const uint16_t syncId = s.loop->syncs()->currentSyncId();
    const uint64_t ahead =
        uint64_t((s.fixture.clock.now() + 3600 - sync->syncTime()) * sync->lineFrequency());
    std::vector<frameBytes> frames(3);
    for (size_t i = 0; i < frames.size(); ++i)
        encodeRleFrame({shadowLine{{20, 4}}}, syncId, ahead + 1000 * i, &frames[i]);
    s.fixture.dir.write("cam_a/input/" + nameAtNow(s, ".a.cam"),
                        transferFile(CAM_A, syncId, ahead, frames, ahead + 3000));
    s.run(20);
    s.fixture.dir.write("3sec/REBOOT", "");
    ASSERT_TRUE(s.runUntil([&] { return s.count("RESYNC") == 1; }, 10));
    ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 60)) << s.tail(40).toStdString();
    s.run(20);

    EXPECT_EQ(s.countStarting("error : 3 frames of transfer file "), 1) << s.tail().toStdString();
    EXPECT_EQ(s.countStarting("error"), 2)
        << "and the file's own refusal" << s.tail().toStdString();
    expectUnharmed(s, guarded);
}

// Files far larger than a camera writes: refused with a message and removed, whatever their
// header claims, and the station holds no memory for them afterwards.
TEST(shareAttacks, filesLargerThanACameraWritesAreRefusedAndRemoved) {
    struct largeFile {
        const char* suffix;
        qint64 size;
    };
    for (const largeFile& c :
         {largeFile{".a.cam", qint64(100) << 20}, largeFile{".log.a.cam", qint64(8) << 20}}) {
        SCOPED_TRACE(c.suffix);
        simulatedStation s(START);
        guardedFiles guarded(s);
        measureFor(s, 8);
        const uint16_t syncId = s.loop->syncs()->currentSyncId();
        // A real transfer header whose body length claims the whole (sparse) file.
        QByteArray bytes = transferFile(CAM_A, syncId, 0, {}, 0);
        const quint32 body = quint32(c.size - bytes.size());
        std::memcpy(bytes.data() + 52, &body, 4);
        const QString name = nameAtNow(s, c.suffix);
        QFile file(s.fixture.dir.file("cam_a/input/" + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        ASSERT_TRUE(file.resize(c.size));
        file.close();
        s.run(20);

        EXPECT_EQ(s.countStarting("error : input file " + name + " refused : "), 1)
            << s.tail().toStdString();
        EXPECT_FALSE(s.fixture.dir.exists("cam_a/input/" + name));
        EXPECT_LT(dailyLogs(s).size(), 1 << 20);
        EXPECT_LE(s.loop->cameraA().queue().readBuffer()->m_capacity, 4 << 20);
        EXPECT_EQ(s.count("RESYNC"), 0);
        expectUnharmed(s, guarded);
    }
}

// A camera log file whose name carries a line end and an escape sequence: the daily log, the
// health files and every other file the station writes show it escaped.
TEST(shareAttacks, namesFromTheSharesAreEscapedInEveryFileTheStationWrites) {
    simulatedStation s(START);
    guardedFiles guarded(s);
    measureFor(s, 8);
    const QByteArray raw = QFile::encodeName(nameAtNow(s, "")) + "\n\x1b[2J.log.a.cam";
    ASSERT_TRUE(
        writeRaw(QFile::encodeName(s.fixture.a->inputDir) + "/" + raw, "camera log line\n"));
    s.run(10);

    ASSERT_TRUE(dailyLogs(s).contains("camera log line")) << s.tail().toStdString();
    EXPECT_TRUE(dailyLogs(s).contains("\\x0a\\x1b[2J.log.a.cam"));
    // Every text file the station wrote (datafiles are binary; frames.log is the cameras').
    for (const QString& dir : {QString(), QString("log"), QString("3sec"), QString("sync")})
        for (const QString& written : s.fixture.dir.list(dir)) {
            if (written == "frames.log" ||
                QRegularExpression("^[0-9]+\\.[0-9]+$").match(written).hasMatch())
                continue;
            const QByteArray bytes =
                s.fixture.dir.read(dir.isEmpty() ? written : dir + "/" + written);
            EXPECT_FALSE(bytes.contains('\x1b')) << written.toStdString();
        }
    for (const QString& message : s.log.messages())
        EXPECT_FALSE(message.contains('\x1b') || message.contains('\n') ||
                     message.contains(QChar(0xFFFD)))
            << message.toStdString();
    expectUnharmed(s, guarded);
}
