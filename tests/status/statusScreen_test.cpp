#include "platform/stationClock.h"
#include "status/statusScreen.h"
#include "support/testSupport.h"

#include <QLocale>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct screenFixture : ::testing::Test {
    screenFixture() {
        auto out = std::make_unique<recordingConsole>();
        rec = out.get();
        screen = std::make_unique<statusScreen>(std::move(out));
    }
    recordingConsole* rec;
    std::unique_ptr<statusScreen> screen;
};

class scopedLocale {
public:
    explicit scopedLocale(const QLocale& l) { QLocale::setDefault(l); }
    ~scopedLocale() { QLocale::setDefault(QLocale::c()); }
};

} // namespace

TEST_F(screenFixture, firstDrawShowsBannerPlaceholdersAndNoMessages) {
    EXPECT_EQ(rec->m_clears, 1);
    EXPECT_NE(rec->row(2).find("acquire_kiv"), std::string::npos);
    EXPECT_NE(rec->row(2).find("1.0.0.13"), std::string::npos);
    // The build's own date, as the compiler writes dates ("Dec 08 2026 16:48:27").
    EXPECT_TRUE(QRegularExpression(" :: build [A-Z][a-z]{2} [0-9]{2} 20[2-9][0-9] "
                                   "[0-9]{2}:[0-9]{2}:[0-9]{2}$")
                    .match(QString::fromStdString(rec->row(2)))
                    .hasMatch())
        << rec->row(2);
    EXPECT_EQ(rec->row(6), "local  : at ------------------- :: resync at -------------------");
    EXPECT_EQ(rec->row(10), "errors : 0 since start");
    EXPECT_EQ(rec->row(4),
              "syncId : ---- :: at : ---------- :: resync at : ---------- :: reboot : --- ");
    EXPECT_EQ(rec->row(7), "A      : ------ frames :: ---------- :: file : -");
    EXPECT_EQ(rec->row(8), "B      : ------ frames :: ---------- :: file : -");
    EXPECT_EQ(rec->row(9), "out -> : ---- datafiles written");
    EXPECT_EQ(rec->row(11), "No log messages");
    for (const auto& d : rec->m_drawn)
        EXPECT_EQ(d.col, 1);
}

TEST_F(screenFixture, nowLineCarriesTheClockInBothForms) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(1000000000.5);
    scopedStationClock guard(&clock);
    screen->addMessage(messageEntry("x"));
    screen->redraw();
    EXPECT_EQ(screen->nowLine(), "now    : 01000000000 / Sun Sep  9 01:46:40 2001\n");
    EXPECT_EQ(rec->row(5), "now    : 01000000000 / Sun Sep  9 01:46:40 2001");
}

TEST_F(screenFixture, keepsNewestFiveMessagesNewestFirst) {
    for (int i = 1; i <= 6; ++i)
        screen->addMessage(messageEntry(QStringLiteral("message %1").arg(i)));
    ASSERT_EQ(screen->messages().size(), 5);
    EXPECT_EQ(screen->messages().first(), "message 2");
    screen->redraw();
    EXPECT_EQ(rec->row(11), "Last log messages : ");
    EXPECT_EQ(rec->row(13), "message 6");
    EXPECT_EQ(rec->row(17), "message 2");
    EXPECT_EQ(rec->row(18), "");
}

TEST_F(screenFixture, resetEmptiesTheLogAndRestoresPlaceholders) {
    screen->addMessage(messageEntry("old"));
    screen->setOutputLine(12);
    screen->reset();
    screen->redraw();
    EXPECT_EQ(rec->row(11), "No log messages");
    EXPECT_EQ(rec->row(9), "out -> : ---- datafiles written");
}

TEST_F(screenFixture, redrawsOnlyWhenSomethingChanged) {
    int clears = rec->m_clears;
    screen->redraw();
    screen->redraw();
    EXPECT_EQ(rec->m_clears, clears);
    screen->setOutputLine(1);
    EXPECT_TRUE(screen->isDirty());
    screen->redraw();
    screen->redraw();
    EXPECT_EQ(rec->m_clears, clears + 1);
    EXPECT_FALSE(screen->isDirty());
}

TEST_F(screenFixture, syncAndOutputLinesAreFormattedToWidth) {
    scopedTimeZone vienna("Europe/Vienna");
    screen->setSyncLine(7, 1291787000, 1291788000, false);
    EXPECT_EQ(screen->syncLine(), "syncId :    7 :: at : 01291787000 :: resync at : 01291788000 "
                                  ":: reboot : no");
    EXPECT_EQ(screen->localLine(),
              "local  : at 2010-12-08 06:43:20 :: resync at 2010-12-08 07:00:00");
    screen->setSyncLine(65535, 0, 3600, true);
    EXPECT_EQ(screen->syncLine(), "syncId : 65535 :: at : 00000000000 :: resync at : 00000003600 "
                                  ":: reboot : yes");
    screen->setOutputLine(3);
    EXPECT_EQ(screen->outputLine(), "out -> :    3 datafiles written");
}

TEST_F(screenFixture, cameraLinesShowCountSizeAndName) {
    scopedLocale c(QLocale::c());
    screen->setCameraLine(cam::A, 42, 2047, "x.a.cam");
    screen->setCameraLine(cam::B, 1234567, 2048, "y.b.cam");
    screen->setCameraLine(cam::none, 1, 1, "ignored");
    EXPECT_EQ(screen->cameraLine(cam::A),
              "A      : 000042 frames :: 2047  Bytes :: file : x.a.cam");
    EXPECT_EQ(screen->cameraLine(cam::B),
              "B      : 1234567 frames :: 2.00  kBytes :: file : y.b.cam");
}

TEST(formatFileSize, switchesUnitsAtTheBoundariesInTheDefaultLocale) {
    {
        scopedLocale c(QLocale::c());
        EXPECT_EQ(formatFileSize(0), "   0  Bytes");
        EXPECT_EQ(formatFileSize(2047), "2047  Bytes");
        EXPECT_EQ(formatFileSize(2048), "2.00  kBytes");
        EXPECT_EQ(formatFileSize(1048575), "1024.00  kBytes");
        EXPECT_EQ(formatFileSize(1048576), "1.00  MBytes");
    }
    scopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(formatFileSize(2048), "2,00  kBytes");
    EXPECT_EQ(formatFileSize(1048576 + 524288), "1,50  MBytes");
}

TEST(statusScreenPlain, everyMessageBecomesOneTimeStampedPrintableLine) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(1000000000.0);
    scopedStationClock guard(&clock);
    auto out = std::make_unique<recordingConsole>();
    out->m_screen = false;
    recordingConsole* rec = out.get();
    statusScreen screen(std::move(out));
    screen.addMessage(messageEntry("processed log file /x/\x1b[31mred.log.a.cam"));
    ASSERT_EQ(rec->m_lines.size(), 1u);
    EXPECT_EQ(rec->m_lines[0], "2001-09-09 01:46:40 processed log file /x/?[31mred.log.a.cam");
}

TEST(messageLog, listenersSeeEveryMessageWhileTheyListen) {
    QStringList seen;
    int id = addLogListener([&](const logEntry& entry) { seen << entry.text; });
    for (int i = 0; i < 7; ++i)
        logInfo(QString::number(i));
    removeLogListener(id);
    logInfo("late");
    EXPECT_EQ(seen.size(), 7);
}

TEST_F(screenFixture, errorsOfTheLogAndOfStandardErrorAreCounted) {
    screen->addMessage(messageEntry(" : error : invalid frame", severity::error));
    screen->addMessage(
        messageEntry("warning : unable to read local camera config file", severity::warning));
    screen->addMessage({severity::error, errorKind::configuration, logChannel::standardError,
                        "f : error : invalid combination k : v -> ignoring \n"});
    screen->redraw();
    EXPECT_EQ(screen->errors(), 2u);
    EXPECT_EQ(rec->row(10), "errors : 2 since start");
    EXPECT_EQ(screen->messages().size(), 2) << "standard-error lines are not the screen's";
}

// The states by name under the banner; the screen is drawn again only when a state changes,
// not at every cycle that sets the same line.
TEST_F(screenFixture, stateLineNamesThePhaseAndBothCamerasWithTheirTimes) {
    scopedTimeZone tz("UTC");
    stationHealth h;
    h.startTime = 1000000000; // 01:46:40
    h.setPhase(1, 1000000005);
    h.setCameraState(1, 1, 1000000007);
    screen->setStateLine(h);
    screen->redraw();
    EXPECT_EQ(rec->row(3), "state  : normalisation since 01:46:45 :: A disconnected since 01:46:40 "
                           ":: B connected since 01:46:47");
    screen->setStateLine(h);
    EXPECT_FALSE(screen->isDirty());
    h.setCameraState(0, 5, 1000000010);
    screen->setStateLine(h);
    EXPECT_TRUE(screen->isDirty());
}
