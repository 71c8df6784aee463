// Transfer files as a camera computer writes them: the 56-byte header from the camera's
// parameter record, the frames end to end, and the 10-byte trailer. The camera simulator,
// the tests and the benchmarks make their transfer files with it.
#pragma once

#include "config/cameraParams.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

typedef std::vector<uint8_t> frameBytes;

// The header of a file of camera `params.cameraId` whose body is `bodyLength` bytes and whose
// first line is (`syncId`, `lineCounter`).
QByteArray transferHeader(const cameraParams& params, uint16_t syncId, uint64_t lineCounter,
                          uint32_t bodyLength);

// A whole transfer file: header, `frames`, and the trailer (`endSyncId`, `endLineCounter`).
QByteArray buildTransferFile(const cameraParams& params, uint16_t syncId, uint64_t lineCounter,
                             const std::vector<frameBytes>& frames, uint16_t endSyncId,
                             uint64_t endLineCounter);
