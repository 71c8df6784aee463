// Transfer files for tests and benchmarks, made as a camera computer makes them: the default
// parameter record of camera 1 or 2, the frames end to end, a trailer of the same syncId, and
// a name that sorts in the order the files were written.
#pragma once

#include "config/cameraParams.h"
#include "format/transferWriter.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The default parameter record of camera `camera` (1 or 2), as its files carry it.
cameraParams cameraRecord(int camera);

// The transfer file of camera `camera` with `frames`, from line `firstLine` of `syncId` to
// `endLine`.
QByteArray transferFile(int camera, uint16_t syncId, uint64_t firstLine,
                        const std::vector<frameBytes>& frames, uint64_t endLine);

// Name of the `index`th transfer file of camera `camera`, in name order.
QString transferName(int camera, int64_t index);
