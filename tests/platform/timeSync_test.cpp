#include "platform/timeSync.h"

#include <sys/timex.h>

#include <gtest/gtest.h>

// The kernel's answer as the health files see it: synchronised only when neither the answer nor
// the status bit says otherwise.
TEST(timeSync, theKernelsAnswerIsRead) {
    struct {
        int result;
        int status;
        bool known;
        bool synchronised;
        const char* what;
    } table[] = {
        {TIME_OK, STA_PLL, true, true, "kept in step"},
        {TIME_ERROR, STA_UNSYNC, true, false, "never synchronised since boot"},
        {TIME_OK, STA_UNSYNC, true, false, "the daemon gave up"},
        {TIME_ERROR, 0, true, false, "answered as unsynchronised"},
        {TIME_INS, STA_PLL | STA_INS, true, true, "a leap second ahead"},
        {-1, 0, false, false, "the call failed"},
    };
    for (const auto& row : table) {
        timeSyncState s = timeSyncFromKernel(row.result, row.status, 1500, 250000);
        EXPECT_EQ(s.known, row.known) << row.what;
        EXPECT_EQ(s.synchronised, row.synchronised) << row.what;
    }
    timeSyncState s = timeSyncFromKernel(TIME_OK, 0, 1500, 250000);
    EXPECT_DOUBLE_EQ(s.estimatedError, 0.0015);
    EXPECT_DOUBLE_EQ(s.maximumError, 0.25);
    EXPECT_TRUE(readTimeSync().known) << "the kernel answers every process";
}
