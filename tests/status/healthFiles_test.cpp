#include "platform/stationClock.h"
#include "platform/version.h"
#include "status/healthFiles.h"
#include "support/testSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <set>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

stationHealth sampleHealth() {
    stationHealth h;
    h.startTime = 1700000000 - 900;
    h.setPhase(3, 1700000000 - 600);
    h.setCameraState(0, 5, 1700000000 - 600);
    h.missingDirectories = QStringList({"log_dir /srv/log"});
    h.camera[0].framesRead = 120;
    h.camera[0].framesWritten = 100;
    h.camera[0].lastFileName = "0001.a.cam";
    h.camera[0].lastDataTime = 1700000000 - 4;
    h.intervalsLost = 1;
    h.syncId = 3;
    h.syncSecond = 1700000000 - 600;
    h.resyncSecond = 1700002800;
    h.datafilesWritten = 7;
    h.resyncs[RESYNC_SILENCE] = 2;
    h.camera[1].reboots = 2;
    h.camera[0].stalls = 3;
    h.camera[0].stalled = true;
    h.noteMessage({severity::error, errorKind::transferFile, logChannel::messages,
                   "error : unable to process input data transfer file x.a.cam"});
    h.noteMessage({severity::error, errorKind::datafile, logChannel::messages,
                   " : error : datafile /data/frames/01700000.000 exists already -> skipping"});
    h.noteMessage({severity::info, errorKind::none, logChannel::messages, "RESYNC"});
    return h;
}

// A small reader of the metrics text format: every family has HELP and TYPE before its
// samples, counters end in _total, every sample line is name{labels} value.
QString metricsProblem(const QByteArray& text) {
    static const QRegularExpression sample(
        R"(^(acquire_kiv_[a-z_]+)(\{[a-z_]+="[^"\\]*"(,[a-z_]+="[^"\\]*")*\})? (-?[0-9.e+]+)$)");
    QSet<QString> helped, typed;
    QString counterType;
    QMap<QString, QString> types;
    for (const QString& line : QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("# HELP ")) {
            helped << line.section(' ', 2, 2);
        } else if (line.startsWith("# TYPE ")) {
            QString name = line.section(' ', 2, 2), type = line.section(' ', 3, 3);
            if (type != "counter" && type != "gauge")
                return "bad type: " + line;
            if (type == "counter" && !name.endsWith("_total"))
                return "counter without _total: " + name;
            types[name] = type;
        } else {
            QRegularExpressionMatch m = sample.match(line);
            if (!m.hasMatch())
                return "bad sample: " + line;
            if (!helped.contains(m.captured(1)) || !types.contains(m.captured(1)))
                return "sample before HELP/TYPE: " + line;
        }
    }
    return QString();
}

// Written at 1700000000 with 2 GB of 8 GB free and a clock off by at most 16 ms.
healthSample sampleAt() {
    healthSample s;
    s.updated = 1700000000;
    s.diskFree = 2000000000;
    s.diskSize = 8000000000;
    s.timeSync = {true, true, 0.002, 0.016};
    return s;
}

// The samples of one metric family, by their labels.
QMap<QString, QString> samplesOf(const QByteArray& metrics, const QString& family) {
    QMap<QString, QString> found;
    for (const QString& line : QString::fromUtf8(metrics).split('\n')) {
        if (!line.startsWith("acquire_kiv_" + family + " ") &&
            !line.startsWith("acquire_kiv_" + family + "{"))
            continue;
        QString labels = line.section(' ', 0, 0).section('{', 1);
        labels.chop(1); // the closing brace; nothing for a sample without labels
        found[labels] = line.section(' ', 1);
    }
    return found;
}

} // namespace

TEST(healthFiles, statusJsonCarriesWhatTheStationDid) {
    scopedTimeZone tz("Asia/Kathmandu");
    QJsonObject s = QJsonDocument::fromJson(renderStatusJson(sampleHealth(), sampleAt())).object();
    EXPECT_EQ(s["schema"].toInt(), 3);
    EXPECT_EQ(s["updated"].toObject()["utc"].toString(), "2023-11-14T22:13:20Z");
    EXPECT_EQ(s["pid"].toInt(), int(getpid()));
    EXPECT_TRUE(s["running"].toBool());
    EXPECT_EQ(s["phase"].toInt(), 3);
    EXPECT_EQ(s["phase_name"].toString(), "measurement");
    EXPECT_EQ(s["phase_since"].toObject()["seconds"].toInt(), 1700000000 - 600);
    EXPECT_EQ(s["cameras"].toObject()["B"].toObject()["state_name"].toString(), "disconnected");
    EXPECT_EQ(s["cameras"].toObject()["B"].toObject()["state_since"].toObject()["seconds"].toInt(),
              1700000000 - 900)
        << "a state held since the start";
    EXPECT_FALSE(s["configuration"].toObject()["usable"].toBool());
    EXPECT_EQ(s["configuration"].toObject()["missing_directories"].toArray().size(), 1);
    EXPECT_EQ(s["sync"].toObject()["sync_id"].toInt(), 3);
    QJsonObject resync = s["sync"].toObject()["next_resync"].toObject();
    EXPECT_EQ(resync["utc"].toString(), "2023-11-14T23:00:00Z");
    EXPECT_EQ(resync["local"].toString(), "2023-11-15T04:45:00+05:45");
    QJsonObject a = s["cameras"].toObject()["A"].toObject();
    EXPECT_EQ(a["frames_read"].toInt(), 120);
    EXPECT_EQ(a["last_data"].toObject()["utc"].toString(), "2023-11-14T22:13:16Z");
    EXPECT_TRUE(s["cameras"].toObject()["B"].toObject()["last_data"].isNull());
    EXPECT_EQ(s["datafiles"].toObject()["intervals_lost"].toInt(), 1);
    EXPECT_EQ(s["datafiles"].toObject()["disk_free_bytes"].toDouble(), 2e9);
    EXPECT_TRUE(s["time_sync"].toObject()["synchronised"].toBool());
    EXPECT_EQ(s["resyncs"].toObject()["silence"].toInt(), 2);
    EXPECT_EQ(s["resyncs"].toObject()["total"].toInt(), 2);
    QJsonObject errors = s["errors"].toObject();
    EXPECT_EQ(errors.size(), 8) << "every kind, counted or not";
    EXPECT_EQ(errors["transfer_file"].toInt(), 1);
    EXPECT_EQ(errors["datafile"].toInt(), 1) << "a path naming frames is no frame error";
    EXPECT_EQ(errors["sync_list"], QJsonValue(0));
    EXPECT_EQ(s["last_messages"].toArray().last().toString(), "RESYNC");
}

TEST(healthFiles, metricsFollowTheTextFormat) {
    stationHealth stopped = sampleHealth();
    stopped.running = false;
    healthSample unknown; // no datafile directory, a kernel that does not answer
    unknown.updated = 1700000000;
    const QByteArray running = renderMetrics(sampleHealth(), sampleAt());
    const QByteArray ended = renderMetrics(stopped, unknown);
    EXPECT_EQ(metricsProblem(running), QString());
    EXPECT_EQ(metricsProblem(ended), QString());
    EXPECT_EQ(metricsProblem("acquire_kiv_x 1\n"), "sample before HELP/TYPE: acquire_kiv_x 1");
    const QString none;
    struct expected {
        const QByteArray* text;
        const char* family;
        QMap<QString, QString> samples;
    } table[] = {
        {&running, "up", {{none, "1"}}},
        {&running, "configuration_usable", {{none, "0"}}},
        {&running,
         "run_phase",
         {{"phase=\"starting\"", "0"},
          {"phase=\"normalisation\"", "0"},
          {"phase=\"measurement_parameters\"", "0"},
          {"phase=\"measurement\"", "1"}}},
        {&running, "phase", {{none, "3"}}},
        {&ended, "up", {{none, "0"}}},
        {&running, "build_info", {{QStringLiteral("version=\"%1\"").arg(PROGRAM_VERSION), "1"}}},
        {&running, "start_time_seconds", {{none, "1699999100"}}},
        {&running, "last_update_timestamp_seconds", {{none, "1700000000"}}},
        {&running,
         "last_data_timestamp_seconds",
         {{"camera=\"A\"", "1699999996"}, {"camera=\"B\"", "0"}}},
        {&running, "frames_total", {{"camera=\"A\"", "120"}, {"camera=\"B\"", "0"}}},
        {&running, "camera_state", {{"camera=\"A\"", "5"}, {"camera=\"B\"", "0"}}},
        {&running, "reboots_total", {{"camera=\"A\"", "0"}, {"camera=\"B\"", "2"}}},
        {&running, "stalls_total", {{"camera=\"A\"", "3"}, {"camera=\"B\"", "0"}}},
        {&running, "share_stalled", {{"camera=\"A\"", "1"}, {"camera=\"B\"", "0"}}},
        {&running, "intervals_lost_total", {{none, "1"}}},
        {&running, "datafiles_written_total", {{none, "7"}}},
        {&running, "datafile_disk_free_bytes", {{none, "2000000000"}}},
        {&running, "datafile_disk_size_bytes", {{none, "8000000000"}}},
        {&ended, "datafile_disk_free_bytes", {}},
        {&running, "clock_synchronised", {{none, "1"}}},
        {&running, "clock_maximum_error_seconds", {{none, "0.016"}}},
        {&ended, "clock_synchronised", {{none, "0"}}},
        {&ended, "clock_maximum_error_seconds", {}},
        {&running, "sync_id", {{none, "3"}}},
        {&running,
         "resyncs_total",
         {{"reason=\"silence\"", "2"},
          {"reason=\"disconnect\"", "0"},
          {"reason=\"full_hour\"", "0"},
          {"reason=\"reboot_request\"", "0"},
          {"reason=\"failed_push\"", "0"},
          {"reason=\"clock_step\"", "0"}}},
        {&running,
         "errors_total",
         {{"kind=\"datafile\"", "1"},
          {"kind=\"transfer_file\"", "1"},
          {"kind=\"frame\"", "0"},
          {"kind=\"parameter_push\"", "0"},
          {"kind=\"input_file\"", "0"},
          {"kind=\"configuration\"", "0"},
          {"kind=\"sync_list\"", "0"},
          {"kind=\"other\"", "0"}}},
    };
    for (const expected& e : table)
        EXPECT_EQ(samplesOf(*e.text, e.family), e.samples)
            << e.family << (e.text == &ended ? " (ended)" : "");
    // One sample per camera and state, 1 for the state the camera is in.
    const QMap<QString, QString> states = samplesOf(running, "camera_handshake_state");
    EXPECT_EQ(states.size(), 2 * CAMERA_STATE_COUNT);
    EXPECT_EQ(states.keys("1"), QStringList({"camera=\"A\",state=\"measuring\"",
                                             "camera=\"B\",state=\"disconnected\""}));
}

// Creating the files is what the controller spends most on while idle: they are rewritten when
// what they say changed (once a second at most), and otherwise only every 10 s, which is
// what tells a collector that the controller waiting for its cameras still runs.
TEST(healthFiles, rewrittenOnChangeAtMostOnceASecondAndEveryTenSeconds) {
    tempStation dir;
    simulatedClock clock(1000.0);
    scopedStationClock guard(&clock);
    healthFiles files(dir.path());
    stationHealth h = sampleHealth();
    struct step {
        double advance;  // monotonic seconds before the publish
        double wallStep; // the wall clock set by this much first
        bool change;     // the health changes
        bool force;      //
        bool rewritten;  // expected
        const char* what;
    } steps[] = {
        {0, 0, false, false, true, "the first publish"},
        {0, 0, true, false, false, "a change in the same second"},
        {1, 0, false, false, true, "a second later, with the change"},
        {1, 0, false, false, false, "unchanged"},
        {8, 0, false, false, false, "unchanged, 9 s after the last write"},
        {1, 0, false, false, true, "unchanged, 10 s after the last write"},
        {1, -3600, true, false, true, "a change after the wall clock stepped back"},
        {0, 0, false, true, true, "forced in the same second"},
        {0, 0, false, false, false, "and then not again"},
    };
    uint64_t written = 0;
    for (const step& s : steps) {
        clock.step(s.wallStep);
        clock.advance(s.advance);
        if (s.change)
            h.datafilesWritten = ++written + 100;
        dir.write("acquire_kiv.prom", "kept");
        dir.write("acquire_kiv.status.json", "kept");
        files.publish(&h, currentSecond(), s.force);
        const bool rewritten = dir.read("acquire_kiv.prom") != "kept";
        EXPECT_EQ(rewritten, s.rewritten) << s.what;
        EXPECT_EQ(dir.read("acquire_kiv.status.json") != "kept", rewritten) << s.what;
        if (rewritten) {
            EXPECT_TRUE(dir.read("acquire_kiv.prom")
                            .contains("acquire_kiv_last_update_timestamp_seconds " +
                                      QByteArray::number(currentSecond()) + "\n"))
                << s.what;
        }
    }
    EXPECT_EQ(dir.list(), QStringList({"acquire_kiv.prom", "acquire_kiv.status.json"}));
}

TEST(healthFiles, aFailedWriteIsCountedAndSkipped) {
    tempStation dir;
    healthFiles files(dir.path());
    stationHealth h = sampleHealth();
    {
        scopedFileFaults full([](fileOp op, const QString&) { return op == fileOp::WRITE; });
        files.publish(&h, 1000);
    }
    EXPECT_EQ(h.healthWriteFailures, 2u);
    EXPECT_TRUE(dir.list().isEmpty()) << "no temporary file stays behind";
    files.publish(&h, 1001, true);
    EXPECT_TRUE(dir.read("acquire_kiv.prom").contains("acquire_kiv_health_write_failures_total 2"));
}

// The kinds come with the messages from the message log: the health counts what the log
// says, standard-error lines included, and keeps the newest five lines of the screen.
TEST(stationHealth, errorsAreCountedByTheKindTheLogGives) {
    stationHealth h;
    scopedLogListener listener([&](const logEntry& entry) { h.noteMessage(entry); });
    logError(errorKind::frame, " : error : invalid frame");
    logError(errorKind::none, "error : something new");
    logToStandardError(severity::error, errorKind::configuration, "f : error : invalid x\n");
    logWarning("warning : not counted");
    for (int i = 0; i < 6; ++i)
        logInfo(QString::number(i));
    // An error of no kind counts as other; the warning counts nowhere.
    const std::set<errorKind> counted = {errorKind::frame, errorKind::configuration,
                                         errorKind::other};
    for (int k = 0; k < ERROR_KINDS; ++k)
        EXPECT_EQ(h.errors[k], counted.count(errorKind(k))) << errorKindName(errorKind(k));
    EXPECT_EQ(h.lastMessages, QStringList({"1", "2", "3", "4", "5"}));
}
