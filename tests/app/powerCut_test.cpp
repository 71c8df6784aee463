// Power cuts at random moments of a whole station in one process (measurement loop and two
// simulated cameras on the simulated clock). The disk under the station (powerCutDisk) loses
// at each cut what was not yet made durable; the station is then built anew, as after a
// reboot, and goes on. After each restart: every file under a final datafile name reads back,
// no camera was ever given the same syncId twice in a day (each measurement push is a new
// synchronisation), and every control file under its final name is one the station wrote
// whole. At the end no frame is in two datafiles.
// KIV_POWERCUT_SEED repeats the cuts of an earlier run.
#include "config/cameraParams.h"
#include "format/datafileReader.h"
#include "support/powerCutDisk.h"
#include "support/simulatedStation.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <random>
#include <set>

namespace {

const double START = 1700006400.0 + 10 * 3600 + 5; // five seconds after a full hour (UTC)
// The cut comes within this many operations of the station: a few seconds of measuring.
const long MOST_OPERATIONS_TO_CUT = 500;

struct powerCutRun {
    const char* name;
    cutLoss loss;
    renameSupport rename;
    double syncFailureOdds;
    int cuts;
};

std::ostream& operator<<(std::ostream& out, const powerCutRun& run) {
    return out << run.name;
}

struct cutFigures {
    int cuts = 0;
    int measured = 0; // restarts that reached the measurement before their cut
    int datafileChecks = 0;
    int damaged = 0;
    int syncIds = 0;
    int syncIdsReused = 0;
    int controlFileChecks = 0;
    int controlFilesTorn = 0;
};

// The station folder goes to memory where it can: the disk model keeps what is durable, so the
// real syncs only cost time.
struct memoryTempDir {
    memoryTempDir() {
        const char* old = std::getenv("TMPDIR");
        had = old != nullptr;
        previous = had ? old : "";
        if (QDir("/dev/shm").exists())
            setenv("TMPDIR", "/dev/shm", 1);
    }
    void restore() {
        if (had)
            setenv("TMPDIR", previous.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    bool had;
    std::string previous;
};

unsigned seedOf(const char* run) {
    const char* fixed = std::getenv("KIV_POWERCUT_SEED");
    unsigned seed = fixed && *fixed ? unsigned(std::atoll(fixed)) : std::random_device()();
    std::cout << "power cut " << run << ": KIV_POWERCUT_SEED=" << seed << std::endl;
    return seed;
}

class powerCut : public ::testing::TestWithParam<powerCutRun> {
protected:
    powerCut()
        : s(START,
            [](simulatorSettings& camera) {
                camera.parCopyDir = QDir::cleanPath(camera.controlDir + "/..");
            }),
          seed(seedOf(GetParam().name)), random(seed),
          disk(seed, GetParam().rename, GetParam().syncFailureOdds) {
        memory.restore();
    }

    // One step of the cameras and the station, as simulatedStation::step, with the station's
    // operations on the disk that loses power.
    void step() {
        double before = s.fixture.clock.now();
        s.cameraA->step();
        s.cameraB->step();
        disk.setStationRunning(true);
        s.loop->cycle();
        disk.setStationRunning(false);
        if (s.fixture.clock.now() == before)
            s.fixture.clock.advance(0.05);
    }

    // The power goes; whatever the dying station still tries fails. The disk comes back as
    // the cut left it and the station starts again.
    void cutAndRestart() {
        disk.setStationRunning(true);
        s.loop.reset();
        disk.restore(GetParam().loss);
        s.loop = std::make_unique<measurementLoop>(false, "./acquire_kiv.set");
        disk.setStationRunning(false);
    }

    void checkDatafiles();
    void checkSyncIds();
    void checkControlFiles();

    memoryTempDir memory;
    simulatedStation s;
    unsigned seed;
    std::mt19937 random;
    powerCutDisk disk;
    cutFigures figures;
    std::map<QString, fileStamp> intact;         // datafiles read back already, as they were then
    std::set<QString> parameterFiles;            // the cameras' copies looked at already
    std::set<std::pair<QString, int>> handedOut; // camera and syncId
};

void powerCut::checkDatafiles() {
    QDir dir(s.fixture.dir.file("3sec"));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (datafileLocalSecond(name) < 0)
            continue;
        ++figures.datafileChecks;
        const fileStamp stamp = stampFile(dir.filePath(name)).value;
        auto known = intact.find(name);
        if (known != intact.end() && known->second == stamp)
            continue;
        QByteArray bytes = s.fixture.dir.read("3sec/" + name);
        datafileContent content;
        datafileProblem problem;
        if (readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                         &content, &problem)) {
            intact[name] = stamp;
            continue;
        }
        ++figures.damaged;
        ADD_FAILURE() << name.toStdString() << ": " << describeProblem(problem);
    }
}

// The measurement parameters each camera received, kept by the simulators beside their
// control directories.
void powerCut::checkSyncIds() {
    for (const QString& camera : {QStringLiteral("cam_a"), QStringLiteral("cam_b")}) {
        for (const QString& name : s.fixture.dir.list(camera)) {
            if (!name.endsWith(".acquire.par") || !parameterFiles.insert(camera + name).second)
                continue;
            cameraParams params;
            resetCameraParams(&params);
            ASSERT_EQ(presetCameraSettingsFromConfFile(
                          &params, QFile::encodeName(s.fixture.dir.file(camera + "/" + name))),
                      0);
            if (params.operationMode != OPMODE_MEASUREMENT)
                continue;
            if (handedOut.insert({camera, params.nextSyncId}).second) {
                ++figures.syncIds;
                continue;
            }
            ++figures.syncIdsReused;
            ADD_FAILURE() << camera.toStdString() << " got syncId " << params.nextSyncId
                          << " a second time (" << name.toStdString() << ")";
        }
    }
}

void powerCut::checkControlFiles() {
    for (const auto& delivered : disk.delivered()) {
        const QString& path = delivered.first;
        if (path.endsWith(".part") || !path.contains("/control/") || !QFile::exists(path))
            continue;
        ++figures.controlFileChecks;
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        if (delivered.second.contains(file.readAll()))
            continue;
        ++figures.controlFilesTorn;
        ADD_FAILURE() << path.toStdString() << " is not what the station wrote";
    }
}

} // namespace

TEST_P(powerCut, stationComesBackWithWholeFilesAndNoSyncIdTwice) {
    const powerCutRun& run = GetParam();
    SCOPED_TRACE("KIV_POWERCUT_SEED=" + std::to_string(seed));
    std::uniform_int_distribution<long> moment(1, MOST_OPERATIONS_TO_CUT);
    for (int cut = 0; cut < run.cuts; ++cut) {
        disk.cutAfter(moment(random));
        // Long enough for a station that only waits for its cameras to reach the cut.
        double limit = s.fixture.clock.now() + 600;
        bool measured = false;
        while (!disk.isCut() && s.fixture.clock.now() < limit) {
            step();
            measured = measured || s.measuring();
        }
        figures.measured += measured ? 1 : 0;
        ASSERT_TRUE(disk.isCut()) << "the station stood still before cut " << cut << "\n"
                                  << s.tail(40).toStdString();
        cutAndRestart();
        ++figures.cuts;
        checkDatafiles();
        checkSyncIds();
        checkControlFiles();
        if (HasFailure())
            break;
    }
    // The last start measures again and writes datafiles.
    const size_t before = intact.size();
    ASSERT_TRUE(s.runUntil([&] { return s.measuring(); }, 60)) << s.tail(40).toStdString();
    s.run(15);
    checkDatafiles();
    checkSyncIds();
    EXPECT_GE(intact.size(), before + 2);
    const int duplicated = s.account().duplicated;
    EXPECT_EQ(duplicated, 0);
    std::cout << "power cut " << run.name << ": " << figures.cuts << " cuts survived ("
              << figures.measured << " after measuring again), " << disk.operations()
              << " file operations, " << disk.syncFailures() << " syncs failed; " << intact.size()
              << " datafiles, " << figures.datafileChecks << " checks, " << figures.damaged
              << " damaged; " << duplicated << " frames written twice; " << figures.syncIds
              << " syncIds handed out, " << figures.syncIdsReused << " reused; "
              << figures.controlFileChecks << " control files checked, " << figures.controlFilesTorn
              << " torn\n";
}

INSTANTIATE_TEST_SUITE_P(
    app, powerCut,
    ::testing::Values(
        powerCutRun{"unsyncedLost", cutLoss::unsynced, renameSupport::noReplaceFlag, 0.0, 60},
        powerCutRun{"partlyKeptOnAShareWithoutRenameFlags", cutLoss::partlyKept,
                    renameSupport::hardLinksOnly, 0.0, 50},
        powerCutRun{"tornBlockWithoutHardLinks", cutLoss::tornBlock, renameSupport::plainRenameOnly,
                    0.0, 50},
        powerCutRun{"syncsFailing", cutLoss::unsynced, renameSupport::noReplaceFlag, 0.05, 50}),
    [](const ::testing::TestParamInfo<powerCutRun>& info) { return info.param.name; });
