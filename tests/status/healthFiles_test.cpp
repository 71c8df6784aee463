#include "platform/stationClock.h"
#include "status/healthFiles.h"
#include "support/testSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace {

stationHealth sampleHealth() {
    stationHealth h;
    h.phase = 3;
    h.camera[0].state = 5;
    h.camera[1].state = 0;
    h.camera[0].framesRead = 120;
    h.camera[0].framesWritten = 100;
    h.camera[0].lastFileName = "0001.a.cam";
    h.camera[0].lastDataTime = 1700000000 - 4;
    h.syncId = 3;
    h.syncSecond = 1700000000 - 600;
    h.resyncSecond = 1700002800;
    h.datafilesWritten = 7;
    h.resyncs[RESYNC_SILENCE] = 2;
    h.camera[1].reboots = 2;
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

} // namespace

TEST(healthFiles, statusJsonCarriesWhatTheStationDid) {
    scopedTimeZone tz("Asia/Kathmandu");
    QJsonObject s = QJsonDocument::fromJson(renderStatusJson(sampleHealth(), 1700000000)).object();
    EXPECT_EQ(s["phase"].toInt(), 3);
    EXPECT_EQ(s["sync"].toObject()["sync_id"].toInt(), 3);
    QJsonObject resync = s["sync"].toObject()["next_resync"].toObject();
    EXPECT_EQ(resync["utc"].toString(), "2023-11-14T23:00:00Z");
    EXPECT_EQ(resync["local"].toString(), "2023-11-15T04:45:00+05:45");
    QJsonObject a = s["cameras"].toObject()["A"].toObject();
    EXPECT_EQ(a["frames_read"].toInt(), 120);
    EXPECT_EQ(a["seconds_since_last_data"].toInt(), 4);
    EXPECT_EQ(s["cameras"].toObject()["B"].toObject()["seconds_since_last_data"].toInt(), -1);
    EXPECT_EQ(s["resyncs"].toObject()["silence"].toInt(), 2);
    EXPECT_EQ(s["resyncs"].toObject()["total"].toInt(), 2);
    EXPECT_EQ(s["errors"].toObject()["transfer_file"].toInt(), 1);
    EXPECT_EQ(s["errors"].toObject()["datafile"].toInt(), 1)
        << "a path naming frames is no frame error";
    EXPECT_EQ(s["last_messages"].toArray().last().toString(), "RESYNC");
}

TEST(healthFiles, metricsFollowTheTextFormat) {
    QByteArray text = renderMetrics(sampleHealth(), 1700000000);
    EXPECT_EQ(metricsProblem(text), QString());
    EXPECT_TRUE(text.contains("acquire_kiv_frames_total{camera=\"A\"} 120\n"));
    EXPECT_TRUE(text.contains("acquire_kiv_resyncs_total{reason=\"silence\"} 2\n"));
    EXPECT_TRUE(text.contains("acquire_kiv_reboots_total{camera=\"B\"} 2\n"));
    EXPECT_TRUE(text.contains("acquire_kiv_errors_total{kind=\"transfer_file\"} 1\n"));
    EXPECT_TRUE(text.contains("acquire_kiv_sync_id 3\n"));
    EXPECT_TRUE(text.contains("acquire_kiv_datafiles_written_total 7\n"));
    EXPECT_EQ(metricsProblem("acquire_kiv_x 1\n"), "sample before HELP/TYPE: acquire_kiv_x 1");
}

TEST(healthFiles, writtenAtMostOncePerSecondAndOnlyWhenChanged) {
    tempStation dir;
    simulatedClock clock(1000.0);
    scopedStationClock guard(&clock);
    healthFiles files(dir.path());
    stationHealth h = sampleHealth();
    h.camera[0].lastDataTime = 0; // nothing that changes with the clock alone
    files.publish(&h, 1000);
    QByteArray first = dir.read("acquire_kiv.status.json");
    ASSERT_FALSE(first.isEmpty());
    h.datafilesWritten = 8;
    files.publish(&h, 1000); // the same second
    EXPECT_EQ(dir.read("acquire_kiv.status.json"), first);
    clock.advance(1.0);
    files.publish(&h, 1001);
    QByteArray second = dir.read("acquire_kiv.status.json");
    EXPECT_NE(second, first);
    // A wall clock stepped back an hour does not hold the updates back.
    clock.step(-3600.0);
    clock.advance(1.0);
    h.datafilesWritten = 9;
    files.publish(&h, currentSecond());
    EXPECT_NE(dir.read("acquire_kiv.status.json"), second);
    // Unchanged content is not rewritten (the old file stays, even if someone replaced it).
    dir.write("acquire_kiv.prom", "kept");
    clock.advance(1.0);
    files.publish(&h, currentSecond());
    EXPECT_EQ(dir.read("acquire_kiv.prom"), "kept");
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
    for (int i = 0; i < 6; ++i)
        logInfo(QString::number(i));
    EXPECT_EQ(h.errors,
              (std::map<QString, uint64_t>{{"frame", 1}, {"other", 1}, {"configuration", 1}}));
    EXPECT_EQ(h.lastMessages, QStringList({"1", "2", "3", "4", "5"}));
}
