// The station killed with SIGKILL at random moments while the simulated cameras deliver, and
// started again each time, as a power cut or an out-of-memory kill would do it. Four stations
// run side by side to keep the test short. KIV_CRASH_KILLS sets the number of kills (50 by
// default), KIV_CRASH_SEED repeats the moments of an earlier run (CI sets it: .ci/run).
#include "format/datafileReader.h"
#include "support/e2eStation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <utility>

namespace {

const int STATIONS = 4;

int envNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

// The syncIds of the station's sync list files, in file order.
std::vector<int> syncIds(const e2eStation& station) {
    std::vector<int> ids;
    QDir dir(station.path("sync"));
    for (const QString& name : dir.entryList({"*.sync.log"}, QDir::Files, QDir::Name))
        for (const QByteArray& line : tempStationRead(dir.filePath(name)).split('\n'))
            if (!line.trimmed().isEmpty())
                ids.push_back(line.simplified().split(' ').value(0).toInt());
    return ids;
}

// One station killed again and again.
struct victim {
    std::unique_ptr<e2eStation> station;
    int kills = 0;      // done
    int quota = 0;      // to do
    int measured = 0;   // restarts that reached a new synchronisation before their kill
    size_t syncs = 0;   // sync lines before the current start
    bool early = false; // this start is killed in its handshake
    qint64 startedMs = 0;
    qint64 killAtMs = -1; // -1: not yet chosen
};

struct crashFigures {
    int checked = 0;
    int damaged = 0;
    int duplicates = 0;
    int unknown = 0;
    size_t frames = 0;
};

// Every file under a datafile name reads back with a good checksum; no frame was written
// twice (a transfer file read again after a restart); every frame is one a camera sent; the
// day's syncIds go on 0, 1, 2, ... across all restarts.
void checkStation(const e2eStation& station, int measured, crashFigures* figures) {
    for (const QString& name : station.datafiles()) {
        ++figures->checked;
        QByteArray bytes = tempStationRead(station.path("3sec/" + name));
        datafileContent content;
        datafileProblem problem;
        if (!readDatafile(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                          &content, &problem)) {
            ++figures->damaged;
            ADD_FAILURE() << name.toStdString() << ": " << describeProblem(problem);
        }
    }
    std::set<std::pair<char, uint64_t>> sent;
    for (const e2eFrame& f : station.simulatorFrames())
        sent.insert({f.camera, f.hash});
    std::set<std::pair<char, double>> placed;
    std::vector<e2eFrame> frames;
    QString problem;
    if (!station.datafileFrames(&frames, &problem))
        return; // reported above
    for (const e2eFrame& f : frames) {
        figures->duplicates += placed.insert({f.camera, f.linePosition}).second ? 0 : 1;
        figures->unknown += sent.count({f.camera, f.hash}) ? 0 : 1;
    }
    figures->frames += frames.size();
    std::vector<int> ids = syncIds(station);
    EXPECT_GE(ids.size(), size_t(measured + 1));
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(ids[i], int(i)) << "sync line " << i << " of " << station.path().toStdString();
}

} // namespace

TEST(e2e, killedAtRandomMomentsTheStationLosesNoWrittenDatafileAndMeasuresAgain) {
    const int kills = envNumber("KIV_CRASH_KILLS", 50);
    const unsigned seed = unsigned(envNumber("KIV_CRASH_SEED", int(std::random_device()() >> 1)));
    std::mt19937 random(seed);
    // Printed first, so that a run that hangs or is killed can be repeated too.
    std::cout << "crash test: KIV_CRASH_SEED=" << seed << std::endl;
    SCOPED_TRACE("KIV_CRASH_SEED=" + std::to_string(seed));
    std::uniform_real_distribution<double> handshake(0.0, 0.4);
    // Past the first two polls after the synchronisation, where the datafiles are written.
    std::uniform_real_distribution<double> measuring(0.0, 6.5);

    QElapsedTimer clock;
    clock.start();
    std::vector<victim> victims(STATIONS);
    for (int i = 0; i < STATIONS; ++i) {
        victim& v = victims[size_t(i)];
        v.quota = kills / STATIONS + (i < kills % STATIONS ? 1 : 0);
        v.station = std::make_unique<e2eStation>();
        v.station->startCameras({"--norm-delay", "100", "--reboot-offline", "300",
                                 "--file-interval", "0.5", "--log-interval", "2"});
        if (v.quota > 0) {
            v.station->startStation();
            v.startedMs = clock.elapsed();
        }
    }
    for (bool running = true; running;) {
        running = false;
        for (victim& v : victims) {
            if (v.kills >= v.quota)
                continue;
            running = true;
            qint64 now = clock.elapsed();
            if (v.killAtMs < 0 && v.early) {
                v.killAtMs = v.startedMs + qint64(handshake(random) * 1000);
            } else if (v.killAtMs < 0 && syncIds(*v.station).size() > v.syncs) {
                ++v.measured;
                v.killAtMs = now + qint64(measuring(random) * 1000);
            } else if (v.killAtMs < 0) {
                ASSERT_LT(now - v.startedMs, 20000)
                    << "no measurement after restart " << v.kills << " of "
                    << v.station->path().toStdString() << "\n"
                    << v.station->messages().mid(-20).join("\n").toStdString();
                continue;
            }
            if (now < v.killAtMs)
                continue;
            v.station->killStation();
            ++v.kills;
            v.syncs = syncIds(*v.station).size();
            if (v.kills < v.quota) {
                // Every fifth start is killed at once, in its handshake.
                v.early = v.kills % 5 == 4;
                v.killAtMs = -1;
                v.station->startStation();
                v.startedMs = clock.elapsed();
            }
        }
        QThread::msleep(20);
    }

    // A last start of each station is left to run: it measures and writes datafiles again.
    std::vector<qsizetype> before;
    for (victim& v : victims) {
        before.push_back(v.station->datafiles().size());
        v.station->startStation();
    }
    crashFigures figures;
    int measured = 0;
    for (size_t i = 0; i < victims.size(); ++i) {
        e2eStation& station = *victims[i].station;
        EXPECT_TRUE(
            station.waitFor([&] { return station.datafiles().size() >= before[i] + 2; }, 30))
            << station.messages().mid(-20).join("\n").toStdString();
        EXPECT_EQ(station.stopStation(), 0);
        station.stopCameras();
        checkStation(station, victims[i].measured, &figures);
        measured += victims[i].measured;
    }
    EXPECT_EQ(figures.damaged, 0);
    EXPECT_EQ(figures.duplicates, 0);
    EXPECT_EQ(figures.unknown, 0);
    EXPECT_GT(figures.checked, 0);
    std::cout << "crash test: " << kills << " kills survived, " << measured
              << " restarts measured before their kill, " << figures.checked
              << " datafiles checked, " << figures.damaged << " damaged, " << figures.frames
              << " frames, " << figures.duplicates << " written twice\n";
}
