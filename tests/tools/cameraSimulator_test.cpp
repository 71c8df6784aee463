#include "cameraFiles.h"
#include "cameraSimulator.h"
#include "dropShadows.h"
#include "frameLog.h"
#include "rainModel.h"
#include "simCommandLine.h"

#include "format/readerOf.h"
#include "format/rleCodec.h"
#include "input/transferFile.h"
#include "support/syncFixture.h"
#include "support/testSupport.h"

#include <QDir>
#include <QRegularExpression>

#include <cstring>
#include <gtest/gtest.h>

namespace {

const double START = 1700006400.0 + 1000.0; // shortly after a UTC midnight

// One frame of a transfer file, decoded.
struct readFrame {
    rleFrameHeader header;
    std::vector<shadowLine> lines;
    std::vector<uint8_t> bytes;
};

// A transfer file taken apart: the header fields the simulator sets, the frames, the trailer.
struct readTransfer {
    uint8_t cameraId = 0;
    uint16_t width = 0;
    uint16_t syncId = 0;
    uint64_t firstLine = 0;
    uint32_t bodyLength = 0;
    uint16_t endSyncId = 0;
    uint64_t endLine = 0;
    std::vector<readFrame> frames;
};

template <typename T> T field(const QByteArray& bytes, int offset) {
    T value;
    std::memcpy(&value, bytes.constData() + offset, sizeof(T));
    return value;
}

readTransfer parseTransfer(const QByteArray& bytes) {
    readTransfer file;
    EXPECT_GE(bytes.size(), TRANSFER_HEADER_SIZE + TRANSFER_TRAILER_SIZE);
    if (bytes.size() < TRANSFER_HEADER_SIZE + TRANSFER_TRAILER_SIZE)
        return file;
    file.cameraId = field<uint8_t>(bytes, 1);
    file.width = field<uint16_t>(bytes, 16);
    file.syncId = field<uint16_t>(bytes, 42);
    file.firstLine = field<uint64_t>(bytes, 44);
    file.bodyLength = field<uint32_t>(bytes, 52);
    EXPECT_EQ(bytes.size(), TRANSFER_HEADER_SIZE + int(file.bodyLength) + TRANSFER_TRAILER_SIZE);
    file.endSyncId = field<uint16_t>(bytes, bytes.size() - TRANSFER_TRAILER_SIZE);
    file.endLine = field<uint64_t>(bytes, bytes.size() - TRANSFER_TRAILER_SIZE + 2);
    const uint8_t* body = reinterpret_cast<const uint8_t*>(bytes.constData()) + 56;
    cmprBufferPtr in = readerOf(std::vector<uint8_t>(body, body + file.bodyLength + 10));
    while (in->m_readSize > TRANSFER_TRAILER_SIZE) {
        readFrame frame;
        const uint8_t* at = in->m_readPtr;
        if (decodeRleFrame(in.data(), &frame.header, &frame.lines) != 0) {
            ADD_FAILURE() << "a frame does not decode";
            break;
        }
        frame.bytes.assign(at, const_cast<const uint8_t*>(in->m_readPtr));
        file.frames.push_back(frame);
    }
    return file;
}

struct simulatorTest : ::testing::Test {
    simulatorTest() : tz("UTC"), clock(START), guard(&clock) {
        dir.mkdir("control");
        dir.mkdir("input");
    }
    simulatorSettings settings(int camera = CAM_A) {
        simulatorSettings s;
        s.camera = camera;
        s.controlDir = dir.file("control");
        s.inputDir = dir.file("input");
        s.logInterval = 0.0;
        return s;
    }
    bool control(const char* name) { return dir.exists(QStringLiteral("control/") + name); }
    void place(const char* name) { dir.write(QStringLiteral("control/") + name, "1"); }
    // Writes "acquire.par" as the station does: under ".part", then renamed.
    void push(int mode, uint16_t syncId = 9, int camera = CAM_A, QString controlDir = "control") {
        cameraParams p;
        resetCameraParams(&p);
        p.cameraId = camera;
        p.operationMode = mode;
        p.nextSyncId = syncId;
        QString part = dir.file(controlDir + "/acquire.par.part");
        FILE* f = openFile(part, "w");
        ASSERT_TRUE(f);
        ASSERT_EQ(writeCameraParams(f, &p), 0);
        fclose(f);
        ASSERT_TRUE(renameNoReplace(part, dir.file(controlDir + "/acquire.par")));
    }
    void run(std::initializer_list<cameraSimulator*> sims, double seconds, double step = 0.05) {
        long steps = std::lround(seconds / step);
        for (long i = 0; i < steps; ++i) {
            clock.advance(step);
            for (cameraSimulator* sim : sims)
                sim->step();
        }
    }
    QStringList inputFiles(const QString& pattern) {
        return QDir(dir.file("input")).entryList({pattern}, QDir::Files, QDir::Name);
    }
    std::vector<readTransfer> transfers(const QString& pattern = "*[0-9].a.cam") {
        std::vector<readTransfer> files;
        for (const QString& name : inputFiles(pattern))
            files.push_back(parseTransfer(dir.read("input/" + name)));
        return files;
    }

    scopedTimeZone tz;
    simulatedClock clock;
    scopedStationClock guard;
    tempStation dir;
};

} // namespace

TEST(rainModel, dropsDependOnSeedAndTimeOnly) {
    rainModel rain(5, 3.0);
    std::vector<rainDrop> whole = rain.dropsBetween(1000.0, 2000.0);
    // A Poisson process of 3 drops a second: 3000 drops within five standard deviations.
    EXPECT_NEAR(double(whole.size()), 3000.0, 5 * 55.0);
    std::vector<rainDrop> halves = rain.dropsBetween(1000.0, 1500.25);
    std::vector<rainDrop> second = rainModel(5, 3.0).dropsBetween(1500.25, 2000.0);
    halves.insert(halves.end(), second.begin(), second.end());
    ASSERT_EQ(halves.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(halves[i].time, whole[i].time);
        EXPECT_EQ(halves[i].diameter, whole[i].diameter);
        EXPECT_GE(whole[i].position, 0.0);
        EXPECT_LT(whole[i].position, 1.0);
        EXPECT_GE(whole[i].diameter, DROP_MIN_DIAMETER);
        EXPECT_LE(whole[i].diameter, DROP_MAX_DIAMETER);
        if (i > 0) {
            EXPECT_GT(whole[i].time, whole[i - 1].time);
        }
    }
    std::vector<rainDrop> otherSeed = rainModel(6, 3.0).dropsBetween(1000.0, 2000.0);
    ASSERT_FALSE(otherSeed.empty());
    EXPECT_NE(otherSeed[0].time, whole[0].time);
    EXPECT_TRUE(rainModel(5, 0.0).dropsBetween(1000.0, 2000.0).empty());
}

TEST(dropShadows, cameraBSeesTheDropsOfCameraAShortlyAfter) {
    rainModel rain(11, 50.0);
    cameraView a{START, 55172.0, 632, 0.16, 0.0};
    cameraView b = a;
    b.planeDepth = 6.0;
    uint64_t end = 10 * 55172;
    std::vector<dropShadow> seenA = shadowsBetween(rain, a, 1000, end);
    std::vector<dropShadow> seenB = shadowsBetween(rain, b, 1000, end);
    ASSERT_GT(seenA.size(), 300u);
    // Drops fall at 1 to 10 m/s: 6 mm take 0.6 to 6 ms, 33 to 331 lines.
    size_t matched = 0;
    for (const dropShadow& s : seenA) {
        EXPECT_GE(s.numLines, 1u);
        EXPECT_GE(s.width, 2);
        EXPECT_LE(s.width, SHADOW_MAX_WIDTH);
        EXPECT_LE(s.left + s.width, 632);
        for (const dropShadow& t : seenB) {
            int64_t lag = t.firstLine - s.firstLine;
            if (t.left == s.left && t.width == s.width && t.numLines == s.numLines && lag >= 33 &&
                lag <= 331) {
                ++matched;
                break;
            }
        }
    }
    EXPECT_GE(matched, seenA.size() - 3) << "all but the drops at the ends of the range";
}

TEST(dropShadows, framesCoverOnlyLinesWithShadowsInOrder) {
    rainModel rain(3, RAIN_HEAVY);
    cameraView view{START, 55172.0, 632, 0.16, 0.0};
    std::vector<frameBytes> frames;
    ASSERT_EQ(rainFrames(rain, view, 5000, 60000, 4, &frames), 0);
    ASSERT_GT(frames.size(), 50u);
    uint64_t previousEnd = 5000;
    size_t lines = 0;
    for (const frameBytes& bytes : frames) {
        cmprBufferPtr in = readerOf(bytes);
        rleFrameHeader header;
        std::vector<shadowLine> decoded;
        ASSERT_EQ(decodeRleFrame(in.data(), &header, &decoded), 0);
        EXPECT_EQ(header.syncId, 4);
        EXPECT_GE(header.lineCounter, previousEnd);
        previousEnd = header.lineCounter + header.numLines;
        for (const shadowLine& line : decoded) {
            EXPECT_FALSE(line.empty()) << "a dry line inside a frame";
            for (size_t i = 0; i < line.size(); ++i) {
                EXPECT_LE(line[i].start + line[i].length, 632);
                if (i > 0) {
                    EXPECT_GT(line[i].start, line[i - 1].start + line[i - 1].length);
                }
            }
        }
        lines += decoded.size();
    }
    EXPECT_LE(previousEnd, 60000u);
    EXPECT_LT(lines, 55000u) << "dry stretches give no frames";
}

TEST_F(simulatorTest, handshakeAsksNormalisesAndAsksAgain) {
    cameraSimulator sim(settings());
    run({&sim}, 0.2);
    EXPECT_FALSE(control("request.sync")) << "not connected";
    place("connect");
    run({&sim}, 0.1);
    EXPECT_TRUE(control("request.sync"));
    QFile::remove(dir.file("control/request.sync"));
    run({&sim}, 0.1);
    EXPECT_TRUE(control("request.sync")) << "rewritten while idle and connected";
    EXPECT_EQ(sim.counts().requests, 2);

    push(OPMODE_NORMALISATION);
    run({&sim}, 0.5);
    EXPECT_EQ(sim.state(), cameraState::NORMALISING);
    EXPECT_FALSE(control("acquire.par"));
    EXPECT_FALSE(control("request.sync"));
    EXPECT_TRUE(inputFiles("*").isEmpty());
    run({&sim}, 0.6);
    EXPECT_EQ(sim.state(), cameraState::IDLE);
    EXPECT_TRUE(control("norm.success"));
    EXPECT_TRUE(control("request.sync"));
    QStringList norm = inputFiles("*.norm.a.cam");
    ASSERT_EQ(norm.size(), 1);
    EXPECT_TRUE(QRegularExpression("^[0-9]{16}\\.norm\\.a\\.cam$").match(norm[0]).hasMatch());

    // The norm-video file as the station reads it: "%u %u", then N lines of six values.
    QList<QByteArray> lines = dir.read("input/" + norm[0]).split('\n');
    unsigned value, count;
    ASSERT_EQ(sscanf(lines[0].constData(), "%u %u", &value, &count), 2);
    ASSERT_EQ(count, 1200u);
    ASSERT_GE(lines.size(), 1201);
    for (unsigned i = 1; i <= count; ++i) {
        unsigned pixel, inWindow;
        int raw, normalised, gain, offset;
        ASSERT_EQ(sscanf(lines[i].constData(), "%u %u %i %i %i %i", &pixel, &inWindow, &raw,
                         &normalised, &gain, &offset),
                  6);
        EXPECT_EQ(pixel, i - 1);
        EXPECT_TRUE(raw >= 0 && raw <= 255 && normalised >= 0 && normalised <= 255);
    }
    EXPECT_TRUE(inputFiles("*.tmp").isEmpty());
    EXPECT_EQ(QDir(dir.file("control")).entryList({"*.tmp"}).size(), 0);
}

TEST_F(simulatorTest, measurementFilesFollowTheLineCounterWithoutGaps) {
    simulatorSettings s = settings();
    s.rain = 40.0;
    cameraSimulator sim(s);
    place("connect");
    push(OPMODE_MEASUREMENT, 9);
    run({&sim}, 0.05);
    ASSERT_EQ(sim.state(), cameraState::MEASURING);
    EXPECT_FALSE(control("request.sync"));
    run({&sim}, 5.0);
    std::vector<readTransfer> files = transfers();
    ASSERT_GE(files.size(), 4u);
    ASSERT_LE(files.size(), 5u);
    uint64_t expectedStart = 0;
    uint64_t frameEnd = 0;
    size_t frames = 0;
    for (const readTransfer& f : files) {
        EXPECT_EQ(f.cameraId, CAM_A);
        EXPECT_EQ(f.width, 632);
        EXPECT_EQ(f.syncId, 9);
        EXPECT_EQ(f.endSyncId, 9);
        EXPECT_EQ(f.firstLine, expectedStart) << "each file starts where the previous ended";
        // About one second of lines at 55172 Hz, give or take a step.
        EXPECT_NEAR(double(f.endLine - f.firstLine), 55172.0, 0.05 * 55172.0 + 1);
        for (const readFrame& frame : f.frames) {
            EXPECT_EQ(frame.header.syncId, 9);
            EXPECT_GE(frame.header.lineCounter, frameEnd);
            EXPECT_GE(frame.header.lineCounter, f.firstLine);
            frameEnd = frame.header.lineCounter + frame.header.numLines;
            EXPECT_LE(frameEnd, f.endLine);
            EXPECT_EQ(frame.lines.size(), frame.header.numLines);
        }
        frames += f.frames.size();
        expectedStart = f.endLine;
    }
    EXPECT_GT(frames, 50u);
    EXPECT_EQ(int(frames), sim.counts().frames);
    EXPECT_EQ(sim.nextFileLine(), expectedStart);
}

TEST_F(simulatorTest, aFrameLimitEndsTheFramesButNotTheLineStream) {
    simulatorSettings s = settings();
    s.rain = 40.0;
    s.frameLimit = 25; // reached inside a file
    cameraSimulator sim(s);
    place("connect");
    push(OPMODE_MEASUREMENT, 9);
    run({&sim}, 4.05);
    std::vector<readTransfer> files = transfers();
    ASSERT_GE(files.size(), 3u);
    size_t frames = 0;
    for (const readTransfer& f : files)
        frames += f.frames.size();
    EXPECT_EQ(frames, 25u);
    EXPECT_EQ(sim.counts().frames, 25);
    EXPECT_TRUE(files.back().frames.empty());
    EXPECT_EQ(files.back().endLine, sim.nextFileLine()) << "the files go on, without frames";
}

TEST_F(simulatorTest, theStationsReaderTakesEveryFile) {
    syncList syncs;
    ASSERT_TRUE(syncs.setDirectory(dir.path()));
    ASSERT_TRUE(syncs.addSync(stationParams()));
    simulatorSettings s = settings();
    s.fileInterval = 0.2; // short files: some hold no drop
    s.rain = 8.0;
    cameraSimulator sim(s);
    push(OPMODE_MEASUREMENT, syncs.currentSyncId());
    run({&sim}, 6.0);
    ASSERT_GT(sim.counts().frames, 0);
    ASSERT_GT(sim.counts().emptyTransferFiles, 0);
    int withoutFrames = 0;
    for (const readTransfer& f : transfers())
        withoutFrames += f.bodyLength == 0 && f.endLine > f.firstLine ? 1 : 0;
    EXPECT_EQ(withoutFrames, sim.counts().emptyTransferFiles);
    cameraQueue queue(CAM_A);
    messageCapture log;
    for (const QString& name : inputFiles("*[0-9].a.cam"))
        EXPECT_TRUE(readTransferFile(queue, dir.file("input/" + name), syncs))
            << name.toStdString();
    // A file without frames places its end as an empty record.
    EXPECT_EQ(int(queue.size()), sim.counts().frames + sim.counts().emptyTransferFiles);
    EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join("\n").toStdString();
}

TEST_F(simulatorTest, resyncAndCancelStopWhatRuns) {
    cameraSimulator sim(settings());
    place("connect");
    push(OPMODE_MEASUREMENT);
    run({&sim}, 2.1);
    EXPECT_EQ(sim.counts().transferFiles, 2);
    place("resync");
    run({&sim}, 3.0);
    EXPECT_FALSE(control("resync"));
    EXPECT_EQ(sim.counts().transferFiles, 2);
    EXPECT_TRUE(control("request.sync"));

    push(OPMODE_LIVEVIDEO);
    run({&sim}, 5.0);
    EXPECT_EQ(sim.state(), cameraState::LIVEVIDEO);
    EXPECT_FALSE(control("request.sync"));
    place("cancel");
    run({&sim}, 0.1);
    EXPECT_FALSE(control("cancel"));
    EXPECT_TRUE(control("request.sync"));

    push(OPMODE_NORMALISATION);
    run({&sim}, 0.5);
    place("cancel");
    run({&sim}, 2.0);
    EXPECT_EQ(sim.state(), cameraState::IDLE);
    EXPECT_FALSE(control("norm.success"));
    EXPECT_EQ(inputFiles("*").size(), 2) << "live video and a cancelled normalisation give no file";
    EXPECT_EQ(sim.counts().commands, 3);
}

TEST_F(simulatorTest, rebootGoesOfflineAndTouchesNothingMeanwhile) {
    simulatorSettings s = settings();
    s.rebootOfflineMs = 2000;
    cameraSimulator sim(s);
    place("connect");
    push(OPMODE_MEASUREMENT);
    run({&sim}, 1.5);
    place("cancel");
    place("reboot");
    run({&sim}, 0.1);
    EXPECT_EQ(sim.state(), cameraState::OFFLINE);
    EXPECT_FALSE(control("reboot"));
    EXPECT_FALSE(control("connect"));
    EXPECT_FALSE(control("request.sync"));
    EXPECT_TRUE(control("cancel")) << "left for after the reboot";
    place("connect");
    push(OPMODE_NORMALISATION);
    run({&sim}, 1.8);
    EXPECT_TRUE(control("cancel"));
    EXPECT_TRUE(control("acquire.par"));
    EXPECT_EQ(sim.counts().transferFiles, 1);
    run({&sim}, 0.2);
    EXPECT_FALSE(control("cancel"));
    EXPECT_FALSE(control("acquire.par"));
    EXPECT_EQ(sim.state(), cameraState::NORMALISING);
}

TEST_F(simulatorTest, faultSwitchesActAtTheirTime) {
    simulatorSettings s = settings();
    s.silentAfter = 3.0;
    s.garbageAt = 1.5;
    s.disconnectAt = 2.0;
    frameLog frames(dir.file("frames.log"));
    cameraSimulator sim(s, &frames);
    place("connect");
    push(OPMODE_MEASUREMENT);
    run({&sim}, 1.9);
    EXPECT_TRUE(control("connect"));
    QStringList names = inputFiles("*.a.cam");
    ASSERT_EQ(names.size(), 2);
    EXPECT_EQ(sim.counts().garbageFiles, 1);
    EXPECT_TRUE(QRegularExpression("^[0-9]{16}\\.a\\.cam$").match(names[1]).hasMatch());
    EXPECT_TRUE(dir.read("frames.log").endsWith("file A garbage " + names[1].toLatin1() + " 0\n"));
    cameraQueue queue(CAM_A);
    syncList syncs;
    messageCapture log;
    EXPECT_FALSE(readTransferFile(queue, dir.file("input/" + names[1]), syncs));

    run({&sim}, 0.2);
    EXPECT_FALSE(control("connect"));
    place("connect");
    run({&sim}, 0.9);
    EXPECT_TRUE(control("connect")) << "removed only once";
    EXPECT_EQ(sim.counts().transferFiles, 2);
    run({&sim}, 3.0);
    EXPECT_EQ(sim.counts().transferFiles, 2) << "silent after 3 s";
    EXPECT_EQ(sim.counts().garbageFiles, 1);
    place("resync");
    run({&sim}, 0.1);
    EXPECT_FALSE(control("resync")) << "control files are still answered";
    EXPECT_TRUE(control("request.sync"));
}

TEST_F(simulatorTest, aKeptParameterFileIsTakenOnceAndALostControlShareEndsTheMeasurement) {
    simulatorSettings s = settings();
    s.keepParametersAfter = 0.0;
    cameraSimulator sim(s);
    place("connect");
    push(OPMODE_MEASUREMENT, 9);
    run({&sim}, 0.1);
    EXPECT_TRUE(control("acquire.par"));
    EXPECT_EQ(sim.state(), cameraState::MEASURING);
    run({&sim}, 1.1);
    EXPECT_EQ(sim.counts().transferFiles, 1) << "the kept file did not start it again";
    // The share to the station goes: the camera stops, and asks again once it is back.
    QDir(dir.path()).rename("control", "control.away");
    run({&sim}, 0.1);
    EXPECT_EQ(sim.state(), cameraState::IDLE);
    QDir(dir.path()).rename("control.away", "control");
    QFile::remove(dir.file("control/acquire.par"));
    run({&sim}, 0.1);
    EXPECT_TRUE(control("request.sync"));
}

TEST_F(simulatorTest, keptCommandsAreObeyedOnce) {
    simulatorSettings s = settings();
    s.keepCommands = true;
    cameraSimulator sim(s);
    place("connect");
    push(OPMODE_MEASUREMENT);
    run({&sim}, 1.1);
    place("resync");
    run({&sim}, 0.1);
    EXPECT_TRUE(control("resync"));
    EXPECT_EQ(sim.state(), cameraState::IDLE);
    push(OPMODE_MEASUREMENT);
    run({&sim}, 1.1);
    EXPECT_EQ(sim.state(), cameraState::MEASURING) << "the old resync is not obeyed again";
    EXPECT_EQ(sim.counts().commands, 1);
    QFile::remove(dir.file("control/resync"));
    run({&sim}, 0.1);
    place("resync");
    run({&sim}, 0.1);
    EXPECT_EQ(sim.state(), cameraState::IDLE) << "a new resync is";
}

TEST_F(simulatorTest, frameLogListsExactlyTheFramesOfTheFiles) {
    QString logPath = dir.file("frames.log");
    dir.mkdir("inputB");
    {
        frameLog log(logPath);
        simulatorSettings s = settings();
        s.rain = 30.0;
        s.logInterval = 1.5;
        cameraSimulator a(s, &log);
        s.camera = CAM_B;
        s.controlDir = dir.mkdir("controlB");
        s.inputDir = dir.file("inputB");
        cameraSimulator b(s, &log);
        push(OPMODE_MEASUREMENT, 12);
        push(OPMODE_MEASUREMENT, 12, CAM_B, "controlB");
        run({&a, &b}, 4.0);
    }
    QStringList expected;
    QStringList files;
    for (const QString& name : inputFiles("*.a.cam")) {
        QString kind = name.contains(".log.") ? "log" : "transfer";
        readTransfer f;
        if (kind == "transfer")
            f = parseTransfer(dir.read("input/" + name));
        for (const readFrame& frame : f.frames) {
            const uint8_t* payload = frame.bytes.data() + 16;
            size_t size = frame.bytes.size() - 16;
            expected << QString::asprintf("frame A %u %llu %u %zu %016llx", frame.header.syncId,
                                          (unsigned long long)frame.header.lineCounter,
                                          frame.header.numLines, size,
                                          (unsigned long long)fnv1a64(payload, size));
        }
        files << QString("file A %1 %2 %3").arg(kind, name).arg(f.frames.size());
    }
    QStringList logged = QString::fromLocal8Bit(dir.read("frames.log")).split('\n');
    QStringList loggedFramesA = logged.filter(QRegularExpression("^frame A "));
    QStringList loggedFilesA = logged.filter(QRegularExpression("^file A "));
    EXPECT_GT(expected.size(), 20);
    EXPECT_EQ(loggedFramesA, expected);
    EXPECT_EQ(loggedFilesA, files) << "in name order, which is the order of writing";
    EXPECT_EQ(files.filter(" log ").size(), 2);
    EXPECT_GT(logged.filter(QRegularExpression("^frame B 12 ")).size(), 20);
}

TEST(simCommandLine, camerasPrefixesAndBadOptions) {
    simCommandLine line;
    ASSERT_TRUE(parseSimCommandLine({"--a-control",
                                     "ca",
                                     "--a-input=ia",
                                     "--b-control",
                                     "cb",
                                     "--b-input",
                                     "ib",
                                     "--silent-after",
                                     "20",
                                     "--b-silent-after",
                                     "15",
                                     "--a-keep-commands",
                                     "--rain",
                                     "heavy",
                                     "--seed",
                                     "77",
                                     "--seconds",
                                     "30",
                                     "--norm-delay",
                                     "250",
                                     "--b-keep-par-after",
                                     "40",
                                     "--frames",
                                     "5000"},
                                    &line))
        << line.error.toStdString();
    EXPECT_TRUE(line.play[0] && line.play[1]);
    EXPECT_EQ(line.cameras[1].camera, CAM_B);
    EXPECT_EQ(line.cameras[0].inputDir, "ia");
    EXPECT_EQ(line.cameras[0].silentAfter, 20.0);
    EXPECT_EQ(line.cameras[1].silentAfter, 15.0);
    EXPECT_TRUE(line.cameras[0].keepCommands);
    EXPECT_FALSE(line.cameras[1].keepCommands);
    EXPECT_EQ(line.cameras[0].keepParametersAfter, -1.0);
    EXPECT_EQ(line.cameras[1].keepParametersAfter, 40.0);
    for (const simulatorSettings& s : line.cameras) {
        EXPECT_EQ(s.rain, RAIN_HEAVY);
        EXPECT_EQ(s.frameLimit, 5000);
        EXPECT_EQ(s.seed, 77u) << "both cameras see the same rain";
    }

    simCommandLine onlyB;
    ASSERT_TRUE(parseSimCommandLine({"--b-control", "cb", "--b-input", "ib"}, &onlyB));
    EXPECT_FALSE(onlyB.play[0]);
    EXPECT_TRUE(onlyB.play[1]);

    const QStringList bad[] = {{},
                               {"--a-control", "ca"},
                               {"--a-control", "ca", "--a-input", "ia", "--bogus", "1"},
                               {"--a-control", "ca", "--a-input", "ia", "--seconds", "-1"},
                               {"--a-control", "ca", "--a-input", "ia", "--rain", "lots"},
                               {"--a-control", "ca", "--a-input", "ia", "--frames", "-1"},
                               {"--a-control", "ca", "--a-input", "ia", "--a-seconds", "3"},
                               {"--a-control", "ca", "--a-input", "ia", "--control", "x"},
                               {"--a-control", "ca", "--a-input", "ia", "--verbose=1"},
                               {"--a-control", "ca", "--a-input"}};
    for (const QStringList& args : bad) {
        simCommandLine wrong;
        EXPECT_FALSE(parseSimCommandLine(args, &wrong)) << args.join(' ').toStdString();
        EXPECT_FALSE(wrong.error.isEmpty());
    }
    simCommandLine help;
    EXPECT_TRUE(parseSimCommandLine({"--seed", "3", "--help"}, &help));
    EXPECT_TRUE(help.help);
}
