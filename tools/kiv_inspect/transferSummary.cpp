#include "kiv_inspect/transferSummary.h"

#include "format/rleCodec.h"
#include "format/transferHeader.h"
#include "kiv_inspect/datafileSummary.h"

#include <QJsonArray>

namespace {

// Problems at fixed places of the file.
void addProblem(transferReport* r, int64_t offset, const QString& field, const QString& expected,
                const QString& found) {
    r->problems.push_back(
        {offset, QStringLiteral("%1: expected %2, found %3").arg(field, expected, found)});
}

bool readHeader(transferReport* r, cmprBuffer* buffer) {
    uint8_t marker = buffer->m_data[0];
    r->rawCameraId = buffer->m_data[1];
    if (parseTransferHeader(buffer, &r->params) != 0) {
        addProblem(r, 0, QStringLiteral("marker"), QStringLiteral("'*' (0x2A)"),
                   QString::asprintf("0x%02X", marker));
        return false;
    }
    cmprReadU16(buffer, &r->syncId);
    cmprReadU64(buffer, &r->lineCounter);
    cmprReadU32(buffer, &r->bodyLength);
    r->headerRead = true;
    if (r->nameCamera != 0 && r->rawCameraId != r->nameCamera)
        addProblem(r, 1, QStringLiteral("camera_id"),
                   QStringLiteral("%1 (the file name ends in %2)")
                       .arg(r->nameCamera)
                       .arg(r->nameCamera == 1 ? ".a.cam" : ".b.cam"),
                   QString::number(r->rawCameraId));
    return true;
}

// Walks the frames between the header and `bodyEnd`, stopping where they cannot be followed.
void readFrames(transferReport* r, cmprBuffer* buffer, int64_t bodyEnd) {
    const uint8_t* start = buffer->m_data;
    buffer->m_readPtr = buffer->m_data + TRANSFER_HEADER_SIZE;
    buffer->m_readSize = int32_t(bodyEnd - TRANSFER_HEADER_SIZE);
    std::vector<shadowLine> lines;
    while (buffer->m_readSize > 0) {
        transferFrameInfo frame;
        frame.offset = buffer->m_readPtr - start;
        QString name = QStringLiteral("frame %1").arg(r->frames.size());
        int32_t rest = buffer->m_readSize;
        if (rest < RLE_FRAME_AUX_HEAD_OFFSET) {
            addProblem(r, frame.offset, name, QStringLiteral("a 16-byte aux header"),
                       QStringLiteral("%1 bytes before the end of the body").arg(rest));
            return;
        }
        if (readRleAuxHeader(buffer, &frame.header) != 0) {
            addProblem(r, frame.offset, name + QStringLiteral(" aux header"),
                       QStringLiteral("code widths of 2..15 bits and at most 1536 lines"),
                       QStringLiteral("other values"));
            return;
        }
        int64_t payload = int64_t(frame.header.compressedSize) - RLE_FRAME_AUX_HEAD_OFFSET;
        if (payload <= 0 || payload > buffer->m_readSize) {
            addProblem(r, frame.offset, name + QStringLiteral(" compressed size"),
                       QStringLiteral("17 .. %1 bytes (up to the end of the body)").arg(rest),
                       QString::number(frame.header.compressedSize));
            return;
        }
        frame.decodes = decodeRlePayload(buffer, &frame.header, &lines) == 0;
        if (!frame.decodes) {
            addProblem(r, frame.offset + RLE_FRAME_AUX_HEAD_OFFSET,
                       name + QStringLiteral(" payload"),
                       QStringLiteral("%1 lines of run-length codes ending in an end code")
                           .arg(frame.header.numLines),
                       QStringLiteral("damaged codes"));
            cmprSkip(buffer, int32_t(payload));
        }
        // The station refuses a frame that starts before the previous one of its
        // synchronisation ends.
        if (!r->frames.empty()) {
            const rleFrameHeader& before = r->frames.back().header;
            uint64_t end = before.lineCounter + before.numLines;
            if (before.syncId == frame.header.syncId && frame.header.lineCounter < end)
                r->problems.push_back(
                    {frame.offset, QStringLiteral("%1 starts at line counter %2, before the end "
                                                  "%3 of the frame before")
                                       .arg(name)
                                       .arg(frame.header.lineCounter)
                                       .arg(end)});
        }
        r->frames.push_back(frame);
    }
}

QString frameTable(const transferReport& r) {
    QString text = QStringLiteral("     #   offset  syncId   lineCounter  lines   bytes  light  "
                                  "shadow  minOffset  payload\n");
    for (size_t i = 0; i < r.frames.size(); ++i) {
        const transferFrameInfo& f = r.frames[i];
        text += QString::asprintf("  %4d %8lld  %6u  %12llu  %5u  %6u  %5u  %6u  %9u  %s\n", int(i),
                                  (long long)f.offset, unsigned(f.header.syncId),
                                  (unsigned long long)f.header.lineCounter,
                                  unsigned(f.header.numLines), unsigned(f.header.compressedSize),
                                  unsigned(f.header.lightBits), unsigned(f.header.shadowBits),
                                  unsigned(f.header.minOffset), f.decodes ? "ok" : "DAMAGED");
    }
    return text;
}

QString headerText(const transferReport& r) {
    const cameraParams& p = r.params;
    QString camera = r.rawCameraId == 1   ? QStringLiteral(" (camera A)")
                     : r.rawCameraId == 2 ? QStringLiteral(" (camera B)")
                                          : QStringLiteral(" (neither camera)");
    QString text = QStringLiteral("header\n");
    text += sectionLine("camera_id", QString::number(r.rawCameraId) + camera);
    text += sectionLine("software_version", QString::number(p.softwareVersion));
    text += sectionLine("su_serialnr", QString::number(p.suSerialNr));
    text += sectionLine("line_frequency", QString::number(p.lineFrequency, 'f', 2) + " Hz");
    text += sectionLine("left, width", QStringLiteral("%1, %2").arg(p.left).arg(p.width));
    text += sectionLine("gain, offset",
                        QStringLiteral("%1, %2").arg(p.current.gain).arg(p.current.offset));
    text += sectionLine("norm_video_level", QString::number(p.normVideoLevel));
    text += sectionLine("rle_threshold", QString::number(p.threshold));
    text += sectionLine("xscale, distance", QStringLiteral("%1 mm/pixel, %2 mm")
                                                .arg(double(p.current.xscale), 0, 'f', 6)
                                                .arg(double(p.current.distance), 0, 'f', 4));
    text +=
        sectionLine("planes", QStringLiteral("back left %1 mm, back right %2 mm, front right %3 mm")
                                  .arg(double(p.planeBackLeft), 0, 'f', 3)
                                  .arg(double(p.planeBackRight), 0, 'f', 3)
                                  .arg(double(p.planeFrontRight), 0, 'f', 3));
    text += sectionLine(
        "start", QStringLiteral("syncId %1, lineCounter %2").arg(r.syncId).arg(r.lineCounter));
    text += sectionLine("body length", QStringLiteral("%1 bytes").arg(r.bodyLength));
    return text;
}

// Integers beyond what a JSON number holds exactly are written as text.
QJsonValue counterJson(uint64_t value) {
    if (value <= uint64_t(1) << 53)
        return qint64(value);
    return QString::number(value);
}

} // namespace

transferReport inspectTransferFile(const QString& name, const QByteArray& bytes) {
    transferReport r;
    r.name = name;
    r.size = bytes.size();
    r.nameCamera = name.endsWith(QLatin1String(".a.cam"))   ? 1
                   : name.endsWith(QLatin1String(".b.cam")) ? 2
                                                            : 0;
    r.headerRead = false;
    r.rawCameraId = 0;
    resetCameraParams(&r.params);
    r.syncId = 0;
    r.lineCounter = 0;
    r.bodyLength = 0;
    r.trailerRead = false;
    r.trailerSyncId = 0;
    r.trailerLineCounter = 0;
    if (r.size < TRANSFER_HEADER_SIZE) {
        addProblem(&r, r.size, QStringLiteral("header"),
                   QStringLiteral("%1 bytes").arg(TRANSFER_HEADER_SIZE),
                   QStringLiteral("%1 bytes").arg(r.size));
        return r;
    }
    cmprBufferPtr buffer = makeCmprBuffer(int32_t(bytes.size()));
    if (!buffer || cmprCopy(buffer.data(), reinterpret_cast<const uint8_t*>(bytes.constData()),
                            int32_t(bytes.size())) != 0) {
        r.problems.push_back({-1, QStringLiteral("no memory to read the file")});
        return r;
    }
    buffer->m_readSize = TRANSFER_HEADER_SIZE;
    if (!readHeader(&r, buffer.data()))
        return r;
    int64_t expected = int64_t(TRANSFER_HEADER_SIZE) + r.bodyLength + TRANSFER_TRAILER_SIZE;
    if (r.size < expected)
        addProblem(&r, r.size, QStringLiteral("file size"),
                   QStringLiteral("%1 bytes (header, body length %2, trailer)")
                       .arg(expected)
                       .arg(r.bodyLength),
                   QStringLiteral("%1 bytes").arg(r.size));
    else if (r.size > expected)
        addProblem(&r, expected, QStringLiteral("end of file"), QStringLiteral("after the trailer"),
                   QStringLiteral("%1 more bytes").arg(r.size - expected));
    int64_t bodyEnd = std::min<int64_t>(TRANSFER_HEADER_SIZE + int64_t(r.bodyLength), r.size);
    readFrames(&r, buffer.data(), bodyEnd);
    if (r.size == expected) {
        buffer->m_readPtr = buffer->m_data + (expected - TRANSFER_TRAILER_SIZE);
        buffer->m_readSize = TRANSFER_TRAILER_SIZE;
        r.trailerRead = cmprReadU16(buffer.data(), &r.trailerSyncId) == 0 &&
                        cmprReadU64(buffer.data(), &r.trailerLineCounter) == 0;
    }
    return r;
}

QString transferSummaryText(const transferReport& r) {
    QString text = QStringLiteral("transfer file %1, %2 bytes\n").arg(r.name).arg(r.size);
    if (r.headerRead)
        text += headerText(r);
    text += summaryLine("frames", QString::number(r.frames.size()));
    if (!r.frames.empty())
        text += frameTable(r);
    if (r.trailerRead)
        text += summaryLine("trailer", QStringLiteral("syncId %1, lineCounter %2")
                                           .arg(r.trailerSyncId)
                                           .arg(r.trailerLineCounter));
    return text + verdictLines(r.problems);
}

QJsonObject transferSummaryJson(const transferReport& r) {
    QJsonObject o;
    o["kind"] = "transfer_file";
    o["file"] = r.name;
    o["bytes"] = qint64(r.size);
    if (r.headerRead) {
        const cameraParams& p = r.params;
        QJsonObject h;
        h["camera_id"] = r.rawCameraId;
        h["software_version"] = p.softwareVersion;
        h["su_serial_nr"] = p.suSerialNr;
        h["line_frequency"] = p.lineFrequency;
        h["left"] = qint64(p.left);
        h["width"] = qint64(p.width);
        h["gain"] = qint64(p.current.gain);
        h["offset"] = p.current.offset;
        h["norm_video_level"] = p.normVideoLevel;
        h["rle_threshold"] = p.threshold;
        h["xscale"] = double(p.current.xscale);
        h["distance"] = double(p.current.distance);
        h["plane_back_left"] = double(p.planeBackLeft);
        h["plane_back_right"] = double(p.planeBackRight);
        h["plane_front_right"] = double(p.planeFrontRight);
        h["sync_id"] = r.syncId;
        h["line_counter"] = counterJson(r.lineCounter);
        h["body_length"] = qint64(r.bodyLength);
        o["header"] = h;
    }
    QJsonArray frames;
    for (const transferFrameInfo& f : r.frames) {
        QJsonObject frame;
        frame["offset"] = qint64(f.offset);
        frame["sync_id"] = f.header.syncId;
        frame["line_counter"] = counterJson(f.header.lineCounter);
        frame["lines"] = qint64(f.header.numLines);
        frame["bytes"] = qint64(f.header.compressedSize);
        frame["light_bits"] = f.header.lightBits;
        frame["shadow_bits"] = f.header.shadowBits;
        frame["min_offset"] = f.header.minOffset;
        frame["payload_decodes"] = f.decodes;
        frames.append(frame);
    }
    o["frames"] = frames;
    if (r.trailerRead) {
        QJsonObject trailer;
        trailer["sync_id"] = r.trailerSyncId;
        trailer["line_counter"] = counterJson(r.trailerLineCounter);
        o["trailer"] = trailer;
    }
    o["intact"] = r.intact();
    o["problems"] = problemsJson(r.problems);
    return o;
}
