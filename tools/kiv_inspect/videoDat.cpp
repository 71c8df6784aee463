#include "kiv_inspect/videoDat.h"

#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inputFile.h"

#include <cstring>

namespace {

// Labels are written padded to this width, the time follows up to "DATA:\n".
const int LABEL_WIDTH = 20;
const char* const SECTION_END = "DATA:\n";
const char* const LABELS[4] = {"raw_video_A", "raw_video_B", "norm_video_A", "norm_video_B"};
const int64_t VIDEO_DAT_LIMIT = 16 * 1024;

} // namespace

videoDatReport readVideoDat(const QString& path) {
    videoDatReport r;
    r.name = baseName(path);
    QByteArray bytes;
    if (!readInputFile(path, VIDEO_DAT_LIMIT, &bytes, &r.problem))
        return r;
    uint8_t* lines[4] = {r.raw[0], r.raw[1], r.norm[0], r.norm[1]};
    int at = 0;
    for (int s = 0; s < 4; ++s) {
        QByteArray label = QByteArray(LABELS[s]).leftJustified(LABEL_WIDTH, ' ');
        if (bytes.mid(at, LABEL_WIDTH) != label) {
            r.problem =
                QStringLiteral("at byte %1: expected the section %2").arg(at).arg(LABELS[s]);
            return r;
        }
        int end = bytes.indexOf(SECTION_END, at + LABEL_WIDTH);
        if (end < 0 || end - at > 200) {
            r.problem = QStringLiteral("at byte %1: section %2 has no \"DATA:\" line")
                            .arg(at)
                            .arg(LABELS[s]);
            return r;
        }
        QString time = QString::fromLatin1(bytes.mid(at + LABEL_WIDTH, end - at - LABEL_WIDTH));
        if (s == 0)
            r.time = time.remove(QStringLiteral("Time= ")).trimmed();
        at = end + int(std::strlen(SECTION_END));
        if (bytes.size() - at < VIDEO_LINE_SIZE) {
            r.problem = QStringLiteral("section %1 breaks off after %2 of %3 bytes")
                            .arg(LABELS[s])
                            .arg(bytes.size() - at)
                            .arg(VIDEO_LINE_SIZE);
            return r;
        }
        std::memcpy(lines[s], bytes.constData() + at, VIDEO_LINE_SIZE);
        at += VIDEO_LINE_SIZE;
    }
    if (at != bytes.size()) {
        r.problem = QStringLiteral("%1 bytes after the last section").arg(bytes.size() - at);
        return r;
    }
    r.readable = true;
    return r;
}

QString videoDatSummaryText(const videoDatReport& r) {
    QString text = QStringLiteral("video.dat file %1\n").arg(r.name);
    if (!r.readable)
        return text + summaryLine("verdict", QStringLiteral("DAMAGED: ") + r.problem);
    text += summaryLine("written", r.time);
    text += summaryLine("raw video A", videoStatsText(videoStats(r.raw[0])));
    text += summaryLine("raw video B", videoStatsText(videoStats(r.raw[1])));
    text += summaryLine("norm video A", videoStatsText(videoStats(r.norm[0])));
    text += summaryLine("norm video B", videoStatsText(videoStats(r.norm[1])));
    return text + summaryLine("verdict", QStringLiteral("readable"));
}

QJsonObject videoDatSummaryJson(const videoDatReport& r) {
    QJsonObject o;
    o["kind"] = "video_dat";
    o["file"] = r.name;
    o["readable"] = r.readable;
    if (!r.readable) {
        o["problem"] = r.problem;
        return o;
    }
    o["written"] = r.time;
    o["raw_video_a"] = videoStatsJson(videoStats(r.raw[0]));
    o["raw_video_b"] = videoStatsJson(videoStats(r.raw[1]));
    o["norm_video_a"] = videoStatsJson(videoStats(r.norm[0]));
    o["norm_video_b"] = videoStatsJson(videoStats(r.norm[1]));
    return o;
}
