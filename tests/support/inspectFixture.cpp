#include "support/inspectFixture.h"

#include <QJsonDocument>

#include <algorithm>

run::run(const QStringList& arguments) {
    status = runInspect(arguments, &out, &err);
}

QJsonObject run::json() const {
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

inspectTest::inspectTest() : tz("Asia/Kathmandu"), maker(dir, SYNC_TIME) {}

QStringList inspectTest::datafiles(const std::vector<int>& intervals,
                                   const std::vector<shadowLine>& linesA,
                                   const std::vector<shadowLine>& linesB) {
    for (int i : intervals) {
        // A camera's line counter only grows: lines of the interval the last call closed begin
        // after the line that closed it.
        EXPECT_TRUE(maker.addLines(1, std::max(maker.lineOfInterval(i), m_afterCloser), linesA));
        EXPECT_TRUE(maker.addLines(2, maker.lineOfInterval(i) + 7, linesB));
    }
    // A line of both cameras in a later interval closes the last one.
    int next = intervals.back() + 1;
    EXPECT_TRUE(maker.addLines(1, maker.lineOfInterval(next), std::vector<shadowLine>(1)));
    EXPECT_TRUE(maker.addLines(2, maker.lineOfInterval(next), std::vector<shadowLine>(1)));
    m_afterCloser = maker.lineOfInterval(next) + 1;
    return maker.writeAll();
}
