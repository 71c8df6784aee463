#include "platform/journalStream.h"
#include "platform/stationClock.h"
#include "status/plainLine.h"
#include "status/statusScreen.h"
#include "support/testSupport.h"

#include <gtest/gtest.h>

TEST(journalStreamNames, matchesOnlyTheNamedDeviceAndInode) {
    EXPECT_TRUE(journalStreamNames("8:123456", 8, 123456));
    EXPECT_TRUE(journalStreamNames("18446744073709551615:1", 18446744073709551615ull, 1));
    EXPECT_FALSE(journalStreamNames("8:123456", 8, 123457));
    EXPECT_FALSE(journalStreamNames("9:123456", 8, 123456));
    EXPECT_FALSE(journalStreamNames(nullptr, 8, 123456));
    for (const char* bad : {"", ":", "8:", ":123456", "8:123456x", "8 :123456", "-8:123456",
                            "8:+123456", "8;123456", "18446744073709551616:1"})
        EXPECT_FALSE(journalStreamNames(bad, 8, 123456)) << bad;
}

TEST(statusScreenPlain, journalLinesCarryThePriorityAndNoTimeStamp) {
    scopedTimeZone tz("UTC");
    simulatedClock clock(1000000000.0);
    scopedStationClock guard(&clock);
    auto out = std::make_unique<recordingConsole>();
    out->m_screen = false;
    out->m_journal = true;
    recordingConsole* rec = out.get();
    statusScreen screen(std::move(out));
    screen.addMessage(messageEntry(" : error : invalid frame", severity::error));
    screen.addMessage(
        messageEntry("warning : unable to read local camera config file", severity::warning));
    screen.addMessage(messageEntry("processed norm video file /t/\x1b[2J.norm.b.cam"));
    ASSERT_EQ(rec->m_lines.size(), 3u);
    EXPECT_EQ(rec->m_lines[0], "<3> : error : invalid frame");
    EXPECT_EQ(rec->m_lines[1], "<4>warning : unable to read local camera config file");
    EXPECT_EQ(rec->m_lines[2], "<6>processed norm video file /t/?[2J.norm.b.cam");
    // The screen keeps the messages as they were given.
    EXPECT_EQ(screen.messages().first(), " : error : invalid frame");
}
