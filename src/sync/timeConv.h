// Time and line-counter conversions. A frame is never dated by a clock: its time is the sync
// time of its syncPoint plus its line counter divided by the line frequency. These helpers
// turn line counters into line positions and 3-second intervals, and give the local day
// bounds and the local offset that file names and headers use.
#pragma once

#include <QString>

#include <cstdint>

class syncPoint;

// (T - D) + L / F: seconds since local midnight of the sync day.
double relativeTime(const syncPoint* sync, double lineCounter);
// Relative time + D.
double absoluteTime(const syncPoint* sync, double lineCounter);
// Integer part of relative time x F: lines since local midnight of the sync day.
double linePosition(const syncPoint* sync, double lineCounter);
// The `length`-second interval holding the line, clamped to the last interval of the sync day.
int32_t intervalStart(const syncPoint* sync, double lineCounter, int32_t length);
int32_t intervalEnd(const syncPoint* sync, double lineCounter, int32_t length);
// The three at once, from one relative time: what every frame is placed with.
void placeLine(const syncPoint* sync, double lineCounter, int32_t length, double* position,
               int32_t* start, int32_t* end);

// The local day of `t` runs from the midnight that begins its local date to the one that begins
// the next date: 86400 seconds, but 23 or 25 hours (23.5 or 24.5 where summer time is half an
// hour) on the days summer time begins or ends. Where a zone skips midnight, its date begins
// with the first second it has.
int32_t localMidnight(int64_t t);
int32_t nextLocalMidnight(int64_t t);

// Seconds to add to a UTC second count to get local wall-clock seconds: the zone's offset at
// `t`, summer time included, in whole quarter hours.
int64_t localOffset(int64_t t);

// True when the local time zone has summer time in the year of `t`: then once a year a local
// hour comes twice, and with it the datafile names of its intervals.
bool zoneHasSummerTime(int64_t t);

// The UTC day holding `t`: start = t - (t mod 86400) (0 when that is not below t), end = start
// + 86400.
void utcDayWindow(int64_t t, int32_t* start, int32_t* end);

// "v%1%2_1" from the local date of `t`: year modulo 100 (2 digits) and day of the year
// counted from 1 (3 digits). The daily sync list and log files are named from it.
QString localDayStem(int64_t t);

// A double as int32, clamped to the int32 range (NaN gives 0), so that no damaged line
// counter can make a conversion undefined.
int32_t clampToInt32(double value);
