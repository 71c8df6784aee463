#include "kiv_inspect/dayExport.h"

#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inspectTime.h"
#include "output/frameRecord.h"

#include <QJsonArray>

#include <algorithm>

namespace {

int64_t intervalSecond(const dayFigures& day, int interval) {
    return day.dayStart + int64_t(interval) * INTERVAL_LENGTH;
}

double meanOccupancy(const dayFigures& day, int camera, int minute) {
    double sum = 0;
    for (int x = 0; x < day.window; ++x)
        sum += day.occupancy(camera, minute, x);
    return day.window > 0 ? sum / day.window : 0.0;
}

QString number(double value) {
    return QString::number(value, 'g', 6);
}

const char* gapKind(const dayGap& g) {
    return g.notRunning ? "not_running" : "missing";
}

} // namespace

QJsonObject dayJson(const dayFigures& day) {
    QJsonObject o;
    o["kind"] = "day";
    o["directory"] = day.directory;
    o["date"] = clockText(day.dayStart).left(10);
    o["day_start_local_second"] = qint64(day.dayStart);
    o["window_pixels"] = day.window;
    o["datafiles"] = day.datafiles;
    o["intervals_present"] = day.intervalsIn(INTERVAL_PRESENT);
    o["intervals_missing"] = day.missingIntervals();
    o["intervals_not_running"] = day.intervalsIn(INTERVAL_NOT_RUNNING);
    o["intervals_damaged"] = day.intervalsIn(INTERVAL_DAMAGED);
    o["intervals_not_yet_due"] = day.intervalsIn(INTERVAL_FUTURE);
    QJsonArray damaged;
    for (const QString& name : day.damagedNames)
        damaged.append(name);
    o["damaged_files"] = damaged;
    o["undecoded_frames_a"] = qint64(day.undecodedFrames[0]);
    o["undecoded_frames_b"] = qint64(day.undecodedFrames[1]);
    QJsonArray gaps;
    for (const dayGap& g : day.gaps()) {
        QJsonObject gap;
        gap["from_local"] = clockText(intervalSecond(day, g.from));
        gap["to_local"] = clockText(intervalSecond(day, g.to));
        gap["intervals"] = g.to - g.from;
        gap["kind"] = gapKind(g);
        gaps.append(gap);
    }
    o["gaps"] = gaps;
    o["sync_list"] = day.syncList.name.isEmpty() ? QJsonValue() : QJsonValue(day.syncList.name);
    QJsonArray syncs;
    for (const syncEvent& e : day.syncList.events) {
        QJsonObject s;
        s["sync_id"] = e.syncId;
        s["local"] = clockText(e.localSecond);
        s["kind"] = syncEventName(e.kind);
        syncs.append(s);
    }
    o["synchronisations"] = syncs;
    QJsonArray minutes;
    for (int m = 0; m < DAY_MINUTES; ++m) {
        QJsonObject row;
        row["minute"] = m;
        row["local_time"] = clockText(day.dayStart + 60 * m).mid(11, 5);
        const minuteIntervals in = day.minute(m);
        row["intervals_present"] = day.present[size_t(m)];
        row["intervals_missing"] = in.missing;
        row["intervals_not_running"] = in.notRunning;
        const double share = in.sharePresent();
        row["share_present"] = share < 0 ? QJsonValue() : QJsonValue(share);
        row["camera_a_out"] = day.cameraOut(0, m);
        row["camera_b_out"] = day.cameraOut(1, m);
        row["frames_a"] = qint64(day.frames[0][size_t(m)]);
        row["frames_b"] = qint64(day.frames[1][size_t(m)]);
        double ratio = day.ratio(m);
        row["ratio_a_b"] = ratio < 0 ? QJsonValue() : QJsonValue(ratio);
        row["lines_a"] = qint64(day.lines[0][size_t(m)]);
        row["lines_b"] = qint64(day.lines[1][size_t(m)]);
        row["mean_occupancy_a"] = meanOccupancy(day, 0, m);
        row["mean_occupancy_b"] = meanOccupancy(day, 1, m);
        minutes.append(row);
    }
    o["minutes"] = minutes;
    for (int c = 0; c < 2; ++c) {
        QJsonArray pixels;
        for (int x = 0; x < day.window; ++x)
            pixels.append(day.dayOccupancy(c, x));
        o[c == 0 ? "pixel_occupancy_a" : "pixel_occupancy_b"] = pixels;
    }
    return o;
}

QString dayMinutesCsv(const dayFigures& day) {
    QString text = QStringLiteral("minute,local_time,intervals_present,frames_a,frames_b,ratio_a_b,"
                                  "lines_a,lines_b,mean_occupancy_a,mean_occupancy_b,"
                                  "intervals_missing,intervals_not_running,share_present,"
                                  "camera_a_out,camera_b_out\n");
    for (int m = 0; m < DAY_MINUTES; ++m) {
        double ratio = day.ratio(m);
        const minuteIntervals in = day.minute(m);
        const double share = in.sharePresent();
        text += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9,%10,%11,%12,%13,%14,%15\n")
                    .arg(m)
                    .arg(clockText(day.dayStart + 60 * m).mid(11, 5))
                    .arg(day.present[size_t(m)])
                    .arg(day.frames[0][size_t(m)])
                    .arg(day.frames[1][size_t(m)])
                    .arg(ratio < 0 ? QString() : number(ratio))
                    .arg(day.lines[0][size_t(m)])
                    .arg(day.lines[1][size_t(m)])
                    .arg(number(meanOccupancy(day, 0, m)), number(meanOccupancy(day, 1, m)))
                    .arg(in.missing)
                    .arg(in.notRunning)
                    .arg(share < 0 ? QString() : number(share))
                    .arg(int(day.cameraOut(0, m)))
                    .arg(int(day.cameraOut(1, m)));
    }
    return text;
}

QString dayPixelsCsv(const dayFigures& day) {
    QString text = QStringLiteral("pixel,occupancy_a,occupancy_b\n");
    for (int x = 0; x < day.window; ++x)
        text += QStringLiteral("%1,%2,%3\n")
                    .arg(x)
                    .arg(number(day.dayOccupancy(0, x)), number(day.dayOccupancy(1, x)));
    return text;
}

QString dayText(const dayFigures& day) {
    QString text =
        QStringLiteral("day %1 of %2\n").arg(clockText(day.dayStart).left(10), day.directory);
    int64_t frames[2] = {0, 0};
    for (int c = 0; c < 2; ++c)
        for (int64_t f : day.frames[c])
            frames[c] += f;
    text += summaryLine("datafiles",
                        QStringLiteral("%1: %2 intervals present, %3 missing (%4 while the station "
                                       "did not run), %5 damaged, %6 not yet due")
                            .arg(day.datafiles)
                            .arg(day.intervalsIn(INTERVAL_PRESENT))
                            .arg(day.missingIntervals())
                            .arg(day.intervalsIn(INTERVAL_NOT_RUNNING))
                            .arg(day.intervalsIn(INTERVAL_DAMAGED))
                            .arg(day.intervalsIn(INTERVAL_FUTURE)));
    text += summaryLine("frames", QStringLiteral("A %1, B %2").arg(frames[0]).arg(frames[1]));
    for (const dayGap& g : day.gaps())
        text += sectionLine(g.notRunning ? "not running" : "gap",
                            QStringLiteral("%1 .. %2 local (%3)")
                                .arg(clockText(intervalSecond(day, g.from)),
                                     clockText(intervalSecond(day, g.to)),
                                     plural(g.to - g.from, "interval", "intervals")));
    // A camera's outage while the other went on, as spans of whole minutes.
    for (int c = 0; c < 2; ++c)
        for (int m = 0; m < DAY_MINUTES; ++m) {
            if (!day.cameraOut(c, m))
                continue;
            int end = m;
            while (end < DAY_MINUTES && day.cameraOut(c, end))
                ++end;
            text += sectionLine(c == 0 ? "camera A out" : "camera B out",
                                QStringLiteral("%1 .. %2 local (%3)")
                                    .arg(clockText(day.dayStart + 60 * m),
                                         clockText(day.dayStart + 60 * end),
                                         plural(end - m, "minute", "minutes")));
            m = end;
        }
    text += summaryLine("sync list", day.syncList.name.isEmpty()
                                         ? QStringLiteral("none found")
                                         : QStringLiteral("%1, %2 of this day")
                                               .arg(day.syncList.name)
                                               .arg(plural(int64_t(day.syncList.events.size()),
                                                           "synchronisation", "synchronisations")));
    return text;
}
