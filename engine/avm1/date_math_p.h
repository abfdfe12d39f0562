// Calendar arithmetic for Date: times are milliseconds since 1970-01-01 UTC
// held in doubles, days are counted from the same origin, and months run
// from 0. Local time uses the system's time zone with today's rules for
// every year, which is how the reference player treats history.
#pragma once

#include <cstdint>
#include <string>

namespace zf::avm1::date {

inline constexpr double MsPerDay = 86400000.0;
// Largest time setTime and the setters keep; beyond it the date is invalid.
inline constexpr double MaxTime = 8.64e15;

// Broken-down time. Every field is a double so that NaN and infinities
// pass through the arithmetic the way scripts see them.
struct Fields {
    double year = 0, month = 0, date = 1, hours = 0, minutes = 0, seconds = 0, ms = 0;
    double weekday = 0; // 0 = Sunday; ignored when composing
};

double dayFromYear(double year);
double yearFromTime(double t);
// Days since the epoch of the given year, month and day of month; months
// outside 0..11 carry into the year.
double makeDay(double year, double month, double date);
double makeTime(double hours, double minutes, double seconds, double ms);

// Splits a finite time into its calendar fields (UTC).
Fields split(double t);
// The time of the given fields (UTC); no clipping.
double join(const Fields& fields);

// Local time zone: the offset (ms, east positive) in effect at UTC time t,
// and the conversions both ways.
double localOffset(double utc);
double toLocal(double utc);
double toUtc(double local);

// Truncates towards zero; NaN stays NaN and infinities stay infinite.
double integerPart(double n);
// A year argument as a 32-bit integer the way the reference converts it:
// NaN, infinities and values out of range become INT32_MIN.
double yearArgument(double n);
// Clips a time to the valid range (whole milliseconds), NaN outside it.
double timeClip(double t);

// "Thu Jul 16 02:04:47 GMT+0545 2020", or "Invalid Date".
std::string format(double t);

} // namespace zf::avm1::date
