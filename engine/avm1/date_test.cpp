// Date: calendar arithmetic, the argument conversions of the constructor,
// Date.UTC and the setters, and the text form in a fixed time zone.
#include "date_math_p.h"
#include "test_runner_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::Runner;
using Code = swf::ActionCode;

// Runs the test body with the process time zone set to a zone with a
// 45-minute offset and no daylight saving, then restores it.
class LocalZone {
public:
    explicit LocalZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            m_old = old;
            m_had = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone()
    {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

// Pushes `new Date(args...)` or `Date.UTC(args...)`.
Asm& pushArgs(Asm& a, const std::vector<Item>& args)
{
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    return a.push({int(args.size())});
}

Asm& traceUtc(Asm& a, const std::vector<Item>& args)
{
    pushArgs(a, args).push({"Date"}).op(Code::GetVariable);
    return a.push({"UTC"}).op(Code::CallMethod).op(Code::Trace);
}

// d = new Date(time); trace(d.<method>(args...)); trace(d.getTime())
Asm& traceSetter(Asm& a, double time, const char* method, const std::vector<Item>& args)
{
    a.push({"d", time, 1, "Date"}).op(Code::NewObject).op(Code::SetVariable);
    pushArgs(a, args).push({"d"}).op(Code::GetVariable);
    a.push({method}).op(Code::CallMethod).op(Code::Trace);
    return a;
}

TEST(Avm1Date, CalendarRoundTrip)
{
    struct Case {
        double time;
        double year, month, date, hours, weekday;
    } cases[] = {
        {0, 1970, 0, 1, 0, 4},
        {-1, 1969, 11, 31, 23, 3},
        {951782400000, 2000, 1, 29, 0, 2}, // leap day
        {-62150211612347, 0, 6, 15, 20, 6},
        {8.64e15, 275760, 8, 13, 0, 6},
        {-8.64e15, -271821, 3, 20, 0, 2},
    };
    for (const auto& c : cases) {
        date::Fields f = date::split(c.time);
        EXPECT_EQ(f.year, c.year) << c.time;
        EXPECT_EQ(f.month, c.month) << c.time;
        EXPECT_EQ(f.date, c.date) << c.time;
        EXPECT_EQ(f.hours, c.hours) << c.time;
        EXPECT_EQ(f.weekday, c.weekday) << c.time;
        EXPECT_EQ(date::join(f), std::floor(c.time)) << c.time;
    }
}

TEST(Avm1Date, UtcConvertsArgumentsLikeTheReference)
{
    Asm a;
    traceUtc(a, {1});                          // one argument: no date
    traceUtc(a, {1, 2});                       // 1901: years below 100 count from 1900
    traceUtc(a, {-1, -2, -3, -4, -5, -6, -7}); // negatives carry backwards
    traceUtc(a,
             {7002.5, 13.5, 32.5, 24.5, 60.5, 60.5, 1000.5}); // fractions dropped, overflow carries
    traceUtc(a, {NAN, 0, 0});                                 // a NaN year is INT32_MIN, not NaN
    traceUtc(a, {0, NAN});
    traceUtc(a, {0, 0, INFINITY}); // no clipping to the valid range
    traceUtc(a, {123456789, 123, 456, 789, 123, 456, 2000});
    EXPECT_EQ(test::run(8, std::move(a)), "undefined\n"
                                          "-2172355200000\n"
                                          "-2246155506007\n"
                                          "158831542861000\n"
                                          "-6.77681005680576e+19\n"
                                          "NaN\n"
                                          "Infinity\n"
                                          "3.89585816285464e+18\n");
}

TEST(Avm1Date, TextFormAndLocalFields)
{
    LocalZone zone("Asia/Kathmandu");
    EXPECT_EQ(date::format(1594844387653), "Thu Jul 16 02:04:47 GMT+0545 2020");
    EXPECT_EQ(date::format(-62150211612347), "Sun Jul 16 02:04:47 GMT+0545 0");
    EXPECT_EQ(date::format(-8.64e15), "Tue Apr 20 05:45:00 GMT+0545 -271821");
    EXPECT_EQ(date::format(NAN), "Invalid Date");
    EXPECT_EQ(date::format(INFINITY), "Invalid Date");
    // Today's offset applies to every year, as in the reference.
    EXPECT_EQ(date::localOffset(0), 345 * 60000.0);
    EXPECT_EQ(date::toUtc(date::toLocal(1594844387653)), 1594844387653);

    Asm a;
    a.push({"d", 5.5, 1, "Date"}).op(Code::NewObject).op(Code::SetVariable);
    for (const char* getter : {"getMilliseconds", "getTime", "getTimezoneOffset", "getHours"}) {
        a.push({0, "d"}).op(Code::GetVariable).push({getter}).op(Code::CallMethod).op(Code::Trace);
    }
    a.push({"d", INFINITY, 1, "Date"}).op(Code::NewObject).op(Code::SetVariable);
    a.push({0, "d"})
        .op(Code::GetVariable)
        .push({"getFullYear"})
        .op(Code::CallMethod)
        .op(Code::Trace);
    EXPECT_EQ(test::run(8, std::move(a)), "5\n5.5\n-345\n5\n-2147481678\n");
}

TEST(Avm1Date, HugeTimesStayBounded)
{
    LocalZone zone("Asia/Kathmandu");
    for (double t : {1e300, -1.7e308}) {
        EXPECT_EQ(date::localOffset(t), 345 * 60000.0) << t;
        EXPECT_FALSE(date::format(t).empty()) << t;
        EXPECT_TRUE(std::isfinite(date::split(t).year)) << t;
    }
    Asm a;
    traceUtc(a, {1e308, 1e308, 1e308});
    traceSetter(a, 0, "setDate", {1e308});
    EXPECT_EQ(test::run(8, std::move(a)), "Infinity\nNaN\n");
}

TEST(Avm1Date, SettersKeepUnsetFieldsAndConvertPerMethod)
{
    LocalZone zone("Asia/Kathmandu");
    const double t = 1594844387653; // Thu Jul 16 02:04:47.653 local
    Asm a;
    traceSetter(a, t, "setMilliseconds", {24.5});  // truncated
    traceSetter(a, t, "setHours", {24.5, 60.5});   // carries into the next day
    traceSetter(a, t, "setFullYear", {});          // nothing given: invalid
    traceSetter(a, t, "setFullYear", {123456789}); // beyond the valid range: invalid
    traceSetter(a, t, "setMonth", {NAN, 0});       // a NaN month reads as 0
    traceSetter(a, t, "setMinutes", {NAN});        // minutes convert like an int cast
    traceSetter(a, t, "setYear", {0});             // two-digit years are 19xx
    traceSetter(a, t, "setYear", {-1});
    traceSetter(a, t, "setTime", {5.5});
    traceSetter(a, t, "setTime", {8.64e15 + 1});
    traceSetter(a, NAN, "setHours", {1}); // an invalid date stays invalid
    EXPECT_EQ(test::run(8, std::move(a)), "1594844387024\n"
                                          "1594926947653\n"
                                          "NaN\n"
                                          "NaN\n"
                                          "1577737187653\n"
                                          "-127254174732347\n"
                                          "-2192067612347\n"
                                          "-62181834012347\n"
                                          "5\n"
                                          "NaN\n"
                                          "NaN\n");
}

} // namespace
} // namespace zf::avm1
