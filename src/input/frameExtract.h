// Frame extraction: takes the next run-length frame out of a transfer file body, places it
// in time through the syncPoint of its syncId, and gives the record a copy of its bytes
// (header word, f64 line position, payload).
#pragma once

#include "format/cmprBuffer.h"
#include "output/frameRecord.h"
#include "sync/syncList.h"

// Fills `record` (cleared first) from the frame at the read cursor of `source`; on success
// the cursor stands at the next frame. The outcome is the record's validity; every failure is
// reported on the message log.
void extractFrame(frameRecord* record, cmprBuffer* source, const syncList& syncs);
