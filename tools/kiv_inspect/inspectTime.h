// Time texts of the inspector. Datafiles carry wall-clock second counts (UTC plus the local
// offset); the UTC second behind one comes from this computer's time zone, which is the
// station's own when the inspector runs there.
#pragma once

#include <QString>

#include <cstdint>

// "2023-11-15 00:00:30": `seconds` since the epoch as a calendar date and clock time, no zone
// applied. "?" for a count no calendar holds.
QString clockText(int64_t seconds);

// Whole seconds of a time (rounded down); a time beyond any calendar comes back as a count that
// clockText() shows as "?".
int64_t wholeSecond(double seconds);

// The UTC second whose local second count is `localSecond`.
int64_t utcOfLocal(int64_t localSecond);

// Local midnight before `localSecond`, as a local second count.
int64_t localDayStart(int64_t localSecond);
