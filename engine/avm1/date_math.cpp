// Calendar arithmetic and local time for Date.
#include "date_math_p.h"

#include "value_p.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace zf::avm1::date {

namespace {

bool isLeap(double year)
{
    return std::fmod(year, 4) == 0 && (std::fmod(year, 100) != 0 || std::fmod(year, 400) == 0);
}

double positiveMod(double a, double b)
{
    double r = std::fmod(a, b);
    return r < 0 ? r + b : r;
}

// First day of each month in a common year.
constexpr int MonthStart[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

double monthStart(int month, bool leap)
{
    return MonthStart[month] + (leap && month >= 2 ? 1 : 0);
}

double currentYear()
{
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    return parts.tm_year + 1900.0;
}

// A year from now on with the same length and the same weekday on 1 January
// as `year`, so that rules like "last Sunday of March" fall the same way.
double equivalentYear(double year)
{
    static const double base = currentYear();
    double weekday = positiveMod(dayFromYear(year) + 4, 7);
    bool leap = isLeap(year);
    for (double candidate = base; candidate < base + 28; ++candidate) {
        if (isLeap(candidate) == leap && positiveMod(dayFromYear(candidate) + 4, 7) == weekday) {
            return candidate;
        }
    }
    return base;
}

} // namespace

double dayFromYear(double y)
{
    return 365 * (y - 1970) + std::floor((y - 1969) / 4) - std::floor((y - 1901) / 100) +
           std::floor((y - 1601) / 400);
}

double yearFromTime(double t)
{
    double day = std::floor(t / MsPerDay);
    double year = std::floor(day / 365.2425) + 1970;
    // The estimate is off by at most one or two years; the bound keeps huge
    // values, where doubles lose whole days, from looping.
    for (int i = 0; i < 4 && dayFromYear(year) > day; ++i) {
        --year;
    }
    for (int i = 0; i < 4 && dayFromYear(year + 1) <= day; ++i) {
        ++year;
    }
    return year;
}

double makeDay(double year, double month, double date)
{
    double y = year + std::floor(month / 12);
    double m = positiveMod(month, 12);
    if (!std::isfinite(y) || std::isnan(m)) {
        return NAN;
    }
    return dayFromYear(y) + monthStart(int(m), isLeap(y)) + date - 1;
}

double makeTime(double hours, double minutes, double seconds, double ms)
{
    return hours * 3600000.0 + minutes * 60000.0 + seconds * 1000.0 + ms;
}

Fields split(double t)
{
    Fields f;
    double day = std::floor(t / MsPerDay);
    f.year = yearFromTime(t);
    double dayInYear = day - dayFromYear(f.year);
    bool leap = isLeap(f.year);
    int month = 0;
    while (month < 11 && dayInYear >= monthStart(month + 1, leap)) {
        ++month;
    }
    f.month = month;
    f.date = dayInYear - monthStart(month, leap) + 1;
    // Each unit is counted from the whole time, not from the start of the
    // day: with huge times the divisions round the way the reference's do.
    f.hours = positiveMod(std::floor(t / 3600000.0), 24);
    f.minutes = positiveMod(std::floor(t / 60000.0), 60);
    f.seconds = positiveMod(std::floor(t / 1000.0), 60);
    f.ms = positiveMod(std::floor(t), 1000);
    f.weekday = positiveMod(day + 4, 7);
    return f;
}

double join(const Fields& f)
{
    return makeDay(f.year, f.month, f.date) * MsPerDay +
           makeTime(f.hours, f.minutes, f.seconds, f.ms);
}

double localOffset(double utc)
{
    if (!std::isfinite(utc)) {
        return NAN;
    }
    double year = yearFromTime(utc);
    double shifted = utc + (dayFromYear(equivalentYear(year)) - dayFromYear(year)) * MsPerDay;
    // Times so large that the shift loses whole days use the rules of today.
    if (!(std::fabs(utc) < 1e16) || !(std::fabs(shifted) < 1e15)) {
        shifted = double(std::time(nullptr)) * 1000;
    }
    std::time_t seconds = static_cast<std::time_t>(std::floor(shifted / 1000));
    std::tm parts{};
    if (!localtime_r(&seconds, &parts)) {
        return 0;
    }
    return double(parts.tm_gmtoff) * 1000.0;
}

double toLocal(double utc)
{
    return utc + localOffset(utc);
}

double toUtc(double local)
{
    if (!std::isfinite(local)) {
        return local;
    }
    double guess = local - localOffset(local);
    return local - localOffset(guess);
}

double integerPart(double n)
{
    return std::isfinite(n) ? std::trunc(n) : n;
}

double yearArgument(double n)
{
    if (std::isnan(n) || n >= 2147483648.0 || n <= -2147483649.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return std::trunc(n);
}

double timeClip(double t)
{
    if (!std::isfinite(t) || std::fabs(t) > MaxTime) {
        return NAN;
    }
    return std::trunc(t) + 0.0;
}

std::string format(double t)
{
    if (!std::isfinite(t)) {
        return "Invalid Date";
    }
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    double offset = localOffset(t);
    Fields f = split(t + offset);
    int minutes = int(std::lround(std::fabs(offset) / 60000.0));
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s %s %.0f %02d:%02d:%02d GMT%c%02d%02d ",
                  days[int(f.weekday)], months[int(f.month)], f.date, int(f.hours), int(f.minutes),
                  int(f.seconds), offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return buffer + numberToString(f.year);
}

} // namespace zf::avm1::date
