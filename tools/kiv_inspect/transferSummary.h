// The summary of one transfer file: its header fields, every run-length frame (syncId, line
// counter, lines, size, code widths, whether its payload decodes) and the trailer, with the
// first problems found when the file is damaged.
#pragma once

#include "config/cameraParams.h"
#include "format/rleFrame.h"
#include "kiv_inspect/datafileCheck.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <vector>

struct transferFrameInfo {
    int64_t offset;
    rleFrameHeader header;
    bool decodes;
};

struct transferReport {
    QString name;
    int64_t size;
    int nameCamera; // 1 for "*.a.cam", 2 for "*.b.cam", 0 otherwise
    bool headerRead;
    uint8_t rawCameraId; // as stored; the record keeps only 1 and 2
    cameraParams params;
    uint16_t syncId;
    uint64_t lineCounter;
    uint32_t bodyLength;
    std::vector<transferFrameInfo> frames;
    bool trailerRead;
    uint16_t trailerSyncId;
    uint64_t trailerLineCounter;
    std::vector<inspectProblem> problems;
    bool intact() const { return problems.empty(); }
};

// Reads the transfer file `bytes` called `name`.
transferReport inspectTransferFile(const QString& name, const QByteArray& bytes);

QString transferSummaryText(const transferReport& report);
QJsonObject transferSummaryJson(const transferReport& report);
