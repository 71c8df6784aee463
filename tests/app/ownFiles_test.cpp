// The station's own files attacked, as someone with write access to its folders would: a link
// to a file outside (or to a name outside that is not there yet), a FIFO, a second name of a
// file outside and a directory put under each name the station writes, before it starts and
// while it runs. Each on a whole station in one process: nothing outside changes, nothing
// waits on a FIFO, and each is told in one message that names the file.
#include "output/datafileWriter.h"
#include "support/simulatedStation.h"
#include "sync/timeConv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const double START = 1700006400.0 + 10 * 3600 + 5; // five seconds after a full hour (UTC)
const QByteArray OUTSIDE_TEXT = "a file outside the station\n";

enum class planted { link, danglingLink, fifo, secondName, directory };

const struct plantedKind {
    planted kind;
    const char* what;
} KINDS[] = {
    {planted::link, "a link to something outside"},
    {planted::danglingLink, "a link to a name outside that is not there"},
    {planted::fifo, "a FIFO"},
    {planted::secondName, "a second name of a file outside"},
    {planted::directory, "a directory"},
};

// A folder outside the station with one file in it, which the planted links and second names
// lead to.
struct outsideFolder {
    outsideFolder() : victim(dir.filePath("victim.txt")), absent(dir.filePath("absent.txt")) {
        QFile file(victim);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(OUTSIDE_TEXT) > 0);
    }
    // Nothing was written into the folder or its file.
    void expectUntouched() const {
        QFile file(victim);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), OUTSIDE_TEXT);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"victim.txt"});
    }
    QTemporaryDir dir;
    QString victim;
    QString absent;
};

// Puts `kind` under `path` of the station folder, in place of whatever is there; a link leads
// to the outside folder's file, or to the folder itself for a name the station makes a
// directory of.
bool plant(planted kind, const QString& path, const outsideFolder& outside,
           bool directoryName = false) {
    const QByteArray name = QFile::encodeName(path);
    QFile::remove(path);
    const QString target = directoryName ? outside.dir.path() : outside.victim;
    switch (kind) {
    case planted::link:
        return symlink(QFile::encodeName(target).constData(), name.constData()) == 0;
    case planted::danglingLink:
        return symlink(QFile::encodeName(outside.absent).constData(), name.constData()) == 0;
    case planted::fifo:
        return mkfifo(name.constData(), 0644) == 0;
    case planted::secondName:
        return link(QFile::encodeName(outside.victim).constData(), name.constData()) == 0;
    case planted::directory:
        return mkdir(name.constData(), 0755) == 0;
    }
    return false;
}

// The station as it starts on a folder where something was planted: a new loop, which reads
// what a start reads (the day's sync list, the datafiles left unfinished).
void startAgain(simulatedStation& s) {
    s.loop.reset();
    s.loop = std::make_unique<measurementLoop>(false, "./acquire_kiv.set");
}

// A new handshake and synchronisation: the files written once per normalisation are written
// again.
void resync(simulatedStation& s) {
    s.fixture.dir.write("3sec/REBOOT", "");
    ASSERT_TRUE(s.runUntil([&] { return s.count("RESYNC") > 0; }, 10));
}

// Warnings and errors that name `name` (a file name, or the end of a path).
int toldOf(const simulatedStation& s, const QString& name) {
    const QRegularExpression named(QRegularExpression::escape(name) + "( |$)");
    int n = 0;
    for (const QString& m : s.log.messages())
        n += (m.startsWith("warning") || m.contains(" : error : ") || m.startsWith("error")) &&
             m.contains(named);
    return n;
}

bool before(int moment) {
    return moment == 0;
}

} // namespace

// Files written whole again and again: the heartbeat and its temporary name, the health files
// and theirs, video.dat. What stands under a temporary name, video.dat or a health file's name
// goes (a link itself, never its target) and is told; what stands under the heartbeat's name,
// which is only renamed into without replacing, and a directory under any name stay, told once.
TEST(ownFiles, filesWrittenWholeNeverWriteThroughWhatStandsUnderTheirNames) {
    const char* const names[] = {
        "check_kiv.txt.part",      "check_kiv.txt",        "acquire_kiv.status.json.tmp",
        "acquire_kiv.status.json", "acquire_kiv.prom.tmp", "acquire_kiv.prom",
        "3sec/video.dat"};
    for (const char* name : names)
        for (const plantedKind& k : KINDS)
            for (int moment : {0, 1}) {
                SCOPED_TRACE(std::string(name) + ", " + k.what +
                             (before(moment) ? ", before the start" : ", while running"));
                simulatedStation s(START);
                outsideFolder outside;
                const QString path = s.fixture.dir.file(name);
                if (before(moment)) {
                    ASSERT_TRUE(plant(k.kind, path, outside));
                    startAgain(s);
                    measureFor(s, 15);
                } else {
                    measureFor(s, 5);
                    ASSERT_TRUE(plant(k.kind, path, outside));
                    resync(s);
                    measureFor(s, 15);
                }
                outside.expectUntouched();
                EXPECT_EQ(toldOf(s, QFileInfo(name).fileName()), 1) << s.tail(30).toStdString();
                expectNoFrameLost(s);
            }
}

// Files appended where they stand: the day's sync list and the daily camera logs. Whatever is
// not a plain file of the station's own under their names is refused, not read, written through
// or waited on, and told once; a sync list the station cannot trust ends the measuring rather
// than hand out a syncId of the day twice.
TEST(ownFiles, appendedFilesAreWrittenOnlyWhereTheyArePlainFilesOfTheirOwn) {
    const struct {
        const char* folder;
        const char* suffix;
        bool measuresOn;
    } files[] = {{"sync", ".sync.log", false}, {"log", ".a.log", true}};
    const auto tune = [](simulatorSettings& settings) { settings.logInterval = 4.0; };
    for (const auto& f : files)
        for (const plantedKind& k : KINDS)
            for (int moment : {0, 1}) {
                SCOPED_TRACE(std::string(f.suffix) + ", " + k.what +
                             (before(moment) ? ", before the start" : ", while running"));
                simulatedStation s(START, tune);
                outsideFolder outside;
                const QString name = localDayStem(int64_t(START)) + f.suffix;
                const QString path = s.fixture.dir.file(QString(f.folder) + "/" + name);
                if (before(moment)) {
                    ASSERT_TRUE(plant(k.kind, path, outside));
                    startAgain(s);
                } else {
                    measureFor(s, 10);
                    ASSERT_TRUE(s.fixture.dir.exists(QString(f.folder) + "/" + name));
                    ASSERT_TRUE(plant(k.kind, path, outside));
                    resync(s);
                }
                s.run(40);
                outside.expectUntouched();
                EXPECT_EQ(toldOf(s, name), 1) << s.tail(30).toStdString();
                EXPECT_EQ(s.measuring(), f.measuresOn) << s.tail(30).toStdString();
                if (f.measuresOn)
                    expectNoFrameLost(s);
            }
}

// The datafiles: the temporary name of an interval still to come, and "repeated", the folder
// the station makes for intervals whose name is taken. An interval never goes through what
// stands under its temporary name (it goes to repeated/ instead, as for a taken name), and
// never into a folder a link leads to (it is then lost, told).
TEST(ownFiles, datafilesNeverGoThroughWhatStandsUnderTheirNames) {
    const struct {
        const char* what;
        bool repeated; // the folder; else the temporary name of an interval
    } targets[] = {{"an interval's temporary name", false}, {"the folder repeated", true}};
    for (const auto& t : targets)
        for (const plantedKind& k : KINDS)
            for (int moment : {0, 1}) {
                if (t.repeated && k.kind == planted::directory)
                    continue; // what the station makes there itself
                SCOPED_TRACE(std::string(t.what) + ", " + k.what +
                             (before(moment) ? ", before the start" : ", while running"));
                simulatedStation s(START);
                outsideFolder outside;
                if (!before(moment))
                    measureFor(s, 5);
                // An interval some 20 s ahead (intervals begin on multiples of 3 s of the day).
                const int32_t ahead = int32_t(s.fixture.clock.now()) + 20;
                const QString name = datafileWriter::datafileName(ahead - ahead % 3);
                if (t.repeated) {
                    ASSERT_TRUE(plant(k.kind, s.fixture.dir.file("3sec/repeated"), outside, true));
                    // Its usual name taken, the interval must go there.
                    s.fixture.dir.write("3sec/" + name, "taken");
                } else {
                    ASSERT_TRUE(
                        plant(k.kind, s.fixture.dir.file("3sec/" + name + ".part"), outside));
                }
                if (before(moment))
                    startAgain(s);
                measureFor(s, 30);
                outside.expectUntouched();
                EXPECT_EQ(toldOf(s, name) + toldOf(s, name + ".part"), 1)
                    << s.tail(30).toStdString();
                if (t.repeated) {
                    EXPECT_EQ(s.fixture.dir.read("3sec/" + name), "taken");
                } else {
                    // What was planted (or set aside) is no datafile to account for.
                    for (const QString& planted : {name + ".part", name + ".part.set-aside"}) {
                        const QByteArray path =
                            QFile::encodeName(s.fixture.dir.file("3sec/" + planted));
                        (void)(unlink(path.constData()) == 0 || rmdir(path.constData()) == 0);
                    }
                    expectNoFrameLost(s);
                }
            }
}

// A heartbeat or health file that cannot be written is told once, however long that lasts,
// and once more when it is written again, with how long it was not.
TEST(ownFiles, aFileThatCannotBeWrittenIsToldOnceAndOnceWhenItIsAgain) {
    const struct {
        const char* file;
        const char* what;
        int latestReturn; // s after the fault ends: the heartbeat at once, health at its refresh
    } cases[] = {{"check_kiv.txt.part", "heartbeat", 1},
                 {"acquire_kiv.prom.tmp", "health file", 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        simulatedStation s(START);
        measureFor(s, 5);
        bool refused = true;
        scopedFileFaults faults([&](fileOp op, const QString& path) {
            return refused && op == fileOp::OPEN && path.endsWith(c.file);
        });
        s.run(30);
        refused = false;
        s.run(c.latestReturn + 1);
        EXPECT_EQ(s.countStarting(QString("warning : %1 ").arg(c.what)), 1)
            << s.tail(30).toStdString();
        EXPECT_EQ(
            s.count(
                QString("warning : %1 ./%2 not written : Permission denied").arg(c.what, c.file)),
            1);
        const QRegularExpression back(
            QString("^info : %1s? written again after (\\d+) s$").arg(c.what));
        int told = 0;
        for (const QString& m : s.log.messages()) {
            const QRegularExpressionMatch match = back.match(m);
            if (!match.hasMatch())
                continue;
            ++told;
            EXPECT_GE(match.captured(1).toInt(), 30 - c.latestReturn);
            EXPECT_LE(match.captured(1).toInt(), 30 + c.latestReturn);
        }
        EXPECT_EQ(told, 1) << s.tail(30).toStdString();
    }
}
