// What the inspector's tests share: a run of kiv_inspect in the test process, and a station
// in Kathmandu (+05:45) whose datafiles are written from given camera lines.
#pragma once

#include "kiv_inspect/inspectCommand.h"
#include "support/datafileFixture.h"
#include "support/testSupport.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <vector>

// 00:00:30.25 UTC on 2023-11-15; in Kathmandu (+05:45) 05:45:30.25.
const double SYNC_TIME = 1700006400.0 + 30.25;

struct run {
    run(const QStringList& arguments);
    QJsonObject json() const;
    int status;
    QString out;
    QString err;
};

struct inspectTest : ::testing::Test {
    inspectTest();

    // Writes datafiles of the given intervals (0 = the interval of the sync time), camera A
    // with `linesA` and camera B with `linesB` in each.
    QStringList datafiles(const std::vector<int>& intervals, const std::vector<shadowLine>& linesA,
                          const std::vector<shadowLine>& linesB);
    QString path(const QString& name) const { return dir.file("3sec/" + name); }

    scopedTimeZone tz;
    tempStation dir;
    datafileMaker maker;

private:
    uint64_t m_afterCloser = 0; // camera A's first line after the one that closed the last call
};
