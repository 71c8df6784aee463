#include "kiv_inspect/datafileSummary.h"

#include "kiv_inspect/inspectTime.h"

#include <QJsonArray>

namespace {

QChar cameraLetter(uint16_t camera) {
    return camera == 1 ? QLatin1Char('A') : camera == 2 ? QLatin1Char('B') : QLatin1Char('?');
}

QString position(double value) {
    return QString::number(value, 'f', 0);
}

int nonZeroRest(const datafileContent& c) {
    int count = 0;
    for (double value : c.intervalRest)
        count += value != 0.0;
    return count;
}

int nonZeroRainBytes(const datafileContent& c) {
    int count = 0;
    for (uint8_t byte : c.rainData)
        count += byte != 0;
    return count;
}

QString hex32(uint32_t value) {
    return QString::asprintf("0x%08X", value);
}

QString syncHeaderText(const datafileSyncHeader& h) {
    QString text = QStringLiteral("sync header\n");
    text += sectionLine("header length", QString::number(h.headerLength));
    text += sectionLine("software_version", QString::number(h.softwareVersion));
    text += sectionLine("su_serialnr", QString::number(h.suSerialNr));
    text += sectionLine("line_frequency", QString::number(h.lineFrequency, 'f', 2) + " Hz");
    text += sectionLine("capture window",
                        QStringLiteral("left %1, left + width %2 (%3 pixels), centre %4")
                            .arg(h.windowLeft)
                            .arg(h.windowRight)
                            .arg(int(h.windowRight) - int(h.windowLeft))
                            .arg(h.windowCentre));
    text +=
        sectionLine("planes", QStringLiteral("back left %1 mm, back right %2 mm, front right %3 mm")
                                  .arg(double(h.planeBackLeft), 0, 'f', 3)
                                  .arg(double(h.planeBackRight), 0, 'f', 3)
                                  .arg(double(h.planeFrontRight), 0, 'f', 3));
    text += sectionLine("xscale_a, xscale_b", QStringLiteral("%1, %2 mm/pixel")
                                                  .arg(double(h.xscaleA), 0, 'f', 6)
                                                  .arg(double(h.xscaleB), 0, 'f', 6));
    text += sectionLine("distance_a, _b", QStringLiteral("%1, %2 mm")
                                              .arg(double(h.distanceA), 0, 'f', 4)
                                              .arg(double(h.distanceB), 0, 'f', 4));
    text += sectionLine("norm_video_level", QString::number(h.normVideoLevel));
    text += sectionLine("rle_threshold", QString::number(h.threshold));
    text += sectionLine(
        "sync second",
        QStringLiteral("%1 = %2").arg(h.localSyncSecond).arg(localAndUtc(h.localSyncSecond)));
    return text;
}

QString intervalText(const datafileVerdict& v) {
    if (v.intervalSecond < 0)
        return QStringLiteral("unknown (no datafile name, no frame)");
    return QStringLiteral("%1, 3 s (from the %2)")
        .arg(localAndUtc(v.intervalSecond),
             v.intervalFromName ? QStringLiteral("name") : QStringLiteral("first frame"));
}

QString entriesText(const datafileContent& c) {
    QString text = QStringLiteral("frame entries\n");
    for (int camera = 1; camera <= 2; ++camera) {
        cameraTally t = tallyCamera(c, camera);
        text += sectionLine(
            camera == 1 ? "camera A" : "camera B",
            QStringLiteral("%1, %2, %3 bytes")
                .arg(plural(t.frames, "frame", "frames"), plural(t.lines, "line", "lines"))
                .arg(t.bytes));
    }
    if (c.entries.empty())
        return text;
    text += QStringLiteral("     #   offset  camera  lines   bytes  line position  light  shadow  "
                           "minOffset\n");
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const datafileEntry& e = c.entries[i];
        text += QString::asprintf(
            "  %4d %8d       %c  %5u  %6d  %13s  %5u  %6u  %9u\n", int(i), e.offset,
            cameraLetter(e.cameraId).toLatin1(), unsigned(e.numLines), e.dataLength,
            position(e.linePosition).toLatin1().constData(), unsigned(e.header.lightBits),
            unsigned(e.header.shadowBits), unsigned(e.header.minOffset));
    }
    return text;
}

QString tailText(const datafileContent& c) {
    QString text;
    int rest = nonZeroRest(c);
    text +=
        summaryLine("interval block", QStringLiteral("end A %1, end B %2; %3")
                                          .arg(position(c.endA), position(c.endB),
                                               rest == 0 ? QStringLiteral("18 further values all 0")
                                                         : QStringLiteral("%1 of 18 further values "
                                                                          "not 0")
                                                               .arg(rest)));
    int rain = nonZeroRainBytes(c);
    text += summaryLine("rain data", rain == 0 ? QStringLiteral("600 bytes, all 0")
                                               : QStringLiteral("600 bytes, %1 not 0").arg(rain));
    text += summaryLine("reserved words", QStringLiteral("%1 %2 %3 %4")
                                              .arg(c.reserved[0])
                                              .arg(c.reserved[1])
                                              .arg(c.reservedSigned[0])
                                              .arg(c.reservedSigned[1]));
    return text;
}

QString checksumText(const datafileContent& c) {
    if (!c.checksumPresent)
        return QStringLiteral("none (file shorter than 4 bytes)");
    return QStringLiteral("stored %1, computed %2: %3")
        .arg(hex32(c.storedChecksum), hex32(c.computedChecksum),
             c.checksumMatches ? QStringLiteral("match") : QStringLiteral("MISMATCH"));
}

QJsonObject syncHeaderJson(const datafileSyncHeader& h) {
    QJsonObject o;
    o["header_length"] = h.headerLength;
    o["software_version"] = h.softwareVersion;
    o["su_serial_nr"] = h.suSerialNr;
    o["line_frequency"] = h.lineFrequency;
    o["window_centre"] = h.windowCentre;
    o["left"] = h.windowLeft;
    o["left_plus_width"] = h.windowRight;
    o["plane_back_left"] = double(h.planeBackLeft);
    o["plane_back_right"] = double(h.planeBackRight);
    o["plane_front_right"] = double(h.planeFrontRight);
    o["xscale_a"] = double(h.xscaleA);
    o["xscale_b"] = double(h.xscaleB);
    o["distance_a"] = double(h.distanceA);
    o["distance_b"] = double(h.distanceB);
    o["norm_video_level"] = h.normVideoLevel;
    o["rle_threshold"] = h.threshold;
    o["sync_second_local"] = qint64(h.localSyncSecond);
    o["sync_local"] = clockText(h.localSyncSecond);
    o["sync_utc"] = clockText(utcOfLocal(h.localSyncSecond));
    return o;
}

QJsonObject entryJson(const datafileEntry& e) {
    QJsonObject o;
    o["offset"] = e.offset;
    o["camera"] = QString(cameraLetter(e.cameraId));
    o["lines"] = e.numLines;
    o["bytes"] = e.dataLength;
    o["line_position"] = e.linePosition;
    o["light_bits"] = e.header.lightBits;
    o["shadow_bits"] = e.header.shadowBits;
    o["min_offset"] = e.header.minOffset;
    return o;
}

} // namespace

QString summaryLine(const char* label, const QString& value) {
    return QString::asprintf("%-22s", label) + value + QLatin1Char('\n');
}

QString sectionLine(const char* label, const QString& value) {
    return QString::asprintf("  %-20s", label) + value + QLatin1Char('\n');
}

QString plural(int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString verdictLines(const std::vector<inspectProblem>& problems) {
    QString text = summaryLine("verdict", problems.empty() ? QStringLiteral("intact")
                                                           : QStringLiteral("DAMAGED"));
    for (const inspectProblem& p : problems)
        text += summaryLine("problem", problemText(p));
    return text;
}

QString localAndUtc(int64_t localSecond) {
    return QStringLiteral("%1 local, %2 UTC")
        .arg(clockText(localSecond), clockText(utcOfLocal(localSecond)));
}

QJsonArray problemsJson(const std::vector<inspectProblem>& problems) {
    QJsonArray array;
    for (const inspectProblem& p : problems) {
        QJsonObject o;
        o["offset"] = p.offset < 0 ? QJsonValue() : QJsonValue(qint64(p.offset));
        o["text"] = p.text;
        array.append(o);
    }
    return array;
}

QString datafileSummaryText(const datafileVerdict& v) {
    QString text = QStringLiteral("datafile %1, %2 bytes\n").arg(v.name).arg(v.size);
    const datafileContent& c = v.content;
    if (c.syncHeaderRead)
        text += syncHeaderText(c.sync);
    text += summaryLine("interval", intervalText(v));
    text += entriesText(c);
    if (c.complete)
        text += tailText(c);
    text += summaryLine("checksum", checksumText(c));
    return text + verdictLines(v.problems);
}

QJsonObject datafileSummaryJson(const datafileVerdict& v) {
    const datafileContent& c = v.content;
    QJsonObject o;
    o["kind"] = "datafile";
    o["file"] = v.name;
    o["bytes"] = qint64(v.size);
    if (c.syncHeaderRead)
        o["sync_header"] = syncHeaderJson(c.sync);
    if (v.intervalSecond >= 0) {
        QJsonObject interval;
        interval["local_second"] = qint64(v.intervalSecond);
        interval["local"] = clockText(v.intervalSecond);
        interval["utc"] = clockText(utcOfLocal(v.intervalSecond));
        interval["from"] = v.intervalFromName ? "name" : "first frame";
        o["interval"] = interval;
    }
    QJsonObject cameras;
    for (int camera = 1; camera <= 2; ++camera) {
        cameraTally t = tallyCamera(c, camera);
        QJsonObject tally;
        tally["frames"] = t.frames;
        tally["lines"] = qint64(t.lines);
        tally["bytes"] = qint64(t.bytes);
        cameras[camera == 1 ? "A" : "B"] = tally;
    }
    o["cameras"] = cameras;
    QJsonArray entries;
    for (const datafileEntry& e : c.entries)
        entries.append(entryJson(e));
    o["entries"] = entries;
    if (c.complete) {
        QJsonObject block;
        block["end_a"] = c.endA;
        block["end_b"] = c.endB;
        block["further_values_not_zero"] = nonZeroRest(c);
        o["interval_block"] = block;
        o["rain_data_bytes_not_zero"] = nonZeroRainBytes(c);
        o["reserved"] =
            QJsonArray{c.reserved[0], c.reserved[1], c.reservedSigned[0], c.reservedSigned[1]};
    }
    if (c.checksumPresent) {
        QJsonObject checksum;
        checksum["stored"] = qint64(c.storedChecksum);
        checksum["computed"] = qint64(c.computedChecksum);
        checksum["matches"] = c.checksumMatches;
        o["checksum"] = checksum;
    }
    o["intact"] = v.intact();
    o["problems"] = problemsJson(v.problems);
    return o;
}
