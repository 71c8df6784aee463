#include "platform/console.h"
#include "platform/stationClock.h"

#include <gtest/gtest.h>

TEST(printableAscii, replacesControlAndNonAsciiBytes) {
    EXPECT_EQ(printableAscii(std::string("plain text ~")), "plain text ~");
    EXPECT_EQ(printableAscii(std::string("a\x1b[2Jb")), "a?[2Jb");
    EXPECT_EQ(printableAscii(std::string("tab\there\r")), "tab?here?");
    EXPECT_EQ(printableAscii(std::string("\x7f\x80\xff")), "???");
    EXPECT_EQ(printableAscii(QString::fromUtf8("Gr\xc3\xbc\xc3\x9f")), "Gr??");
}

TEST(printableAscii, dropsOnlyTheFinalLineEnd) {
    EXPECT_EQ(printableAscii(std::string("Tue Dec  8 06:11:00 2026\n")),
              "Tue Dec  8 06:11:00 2026");
    EXPECT_EQ(printableAscii(std::string("a\nb\n")), "a?b");
}

TEST(simulatedClock, sleepAdvancesTimeWithoutWaiting) {
    simulatedClock clock(1000.25);
    scopedStationClock guard(&clock);
    EXPECT_EQ(currentSecond(), 1000);
    sleepMs(3600 * 1000);
    EXPECT_DOUBLE_EQ(nowWithMicroseconds(), 4600.25);
    EXPECT_EQ(clock.sleptMs(), 3600 * 1000);
}
