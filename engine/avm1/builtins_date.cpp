// Date, in the local time zone. A date object keeps its time (ms since the
// epoch, UTC) as its primitive value; the calendar work is in date_math.cpp.
#include "date_math_p.h"
#include "vm_p.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace zf::avm1 {

namespace {

using date::Fields;

double nowMs()
{
    using namespace std::chrono;
    return double(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

bool isDate(Vm& vm, Object* object)
{
    if (!object) {
        return false;
    }
    if (object->kind() == Kind::Date) {
        return true;
    }
    // A subclass instance the Date constructor ran on through super().
    return object->kind() == Kind::Plain && object->primitive().isNumber() &&
           object != vm.dateProto;
}

// Time from the (year, month[, date, hours, minutes, seconds, ms]) form;
// local time unless `utc`. Years below 100 count from 1900. Nothing is
// clipped, so the constructor and Date.UTC return huge or infinite times.
double timeFromParts(Vm& vm, std::span<const Value> args, bool utc)
{
    double year = vm.toNumber(arg(args, 0));
    if (year < 100) {
        year += 1900;
    }
    Fields f;
    f.year = date::yearArgument(year);
    double* rest[] = {&f.month, &f.date, &f.hours, &f.minutes, &f.seconds, &f.ms};
    for (size_t i = 1; i < args.size() && i <= 6; ++i) {
        *rest[i - 1] = date::integerPart(vm.toNumber(args[i]));
    }
    double t = date::join(f);
    return utc ? t : date::toUtc(t);
}

Object* makeDate(Vm& vm, double time)
{
    Object* object = vm.heap().make<Object>(vm.dateProto, Kind::Date);
    object->primitive() = Value(time);
    return object;
}

double timeFromArgs(Vm& vm, std::span<const Value> args)
{
    if (args.empty()) {
        return nowMs();
    }
    if (args.size() == 1) {
        return vm.toNumber(args[0]);
    }
    return timeFromParts(vm, args, false);
}

Value dateConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(makeDate(vm, timeFromArgs(vm, args)));
}

// Date() as a function gives the current time as text; super() from a
// subclass constructor turns the new instance into a date.
Value dateCall(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (self && self->kind() == Kind::Plain && self != vm.dateProto &&
        vm.instanceOf(self, vm.get(vm.global(), "Date").object())) {
        self->primitive() = Value(timeFromArgs(vm, args));
        return {};
    }
    return Value(Str(date::format(nowMs())));
}

Value dateUtc(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.size() < 2) {
        return {};
    }
    return Value(timeFromParts(vm, args, true));
}

enum Field : int { Year, Month, DayOfMonth, Hours, Minutes, Seconds, Ms, Weekday, FullYear };

double fieldOf(const Fields& f, int field)
{
    switch (field) {
    case Year: return f.year - 1900;
    case Month: return f.month;
    case DayOfMonth: return f.date;
    case Hours: return f.hours;
    case Minutes: return f.minutes;
    case Seconds: return f.seconds;
    case Ms: return f.ms;
    case Weekday: return f.weekday;
    default: return f.year;
    }
}

// What the getters give for an infinite time: the reference converts it to
// a 32-bit integer (INT32_MIN) and then offsets each field.
double infiniteField(int field)
{
    constexpr double Min = std::numeric_limits<int32_t>::min();
    switch (field) {
    case Year: return Min + 70;
    case Month: return 0;
    case DayOfMonth: return Min + 1;
    case Hours: return Min + 24;
    case Minutes:
    case Seconds: return Min + 60;
    case Ms: return Min + 1000;
    case Weekday: return Min + 7;
    default: return Min + 1970;
    }
}

// data: field number, plus 16 for the UTC variant.
Value dateGet(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    if (!isDate(vm, self)) {
        return {};
    }
    double t = vm.toNumber(self->primitive());
    int field = int(data.number()) & 15;
    bool utc = int(data.number()) & 16;
    if (std::isnan(t)) {
        return Value(NAN);
    }
    if (std::isinf(t)) {
        return Value(infiniteField(field));
    }
    return Value(fieldOf(date::split(utc ? t : date::toLocal(t)), field));
}

Value dateGetTime(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    return isDate(vm, self) ? Value(vm.toNumber(self->primitive())) : Value();
}

Value dateTimezoneOffset(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!isDate(vm, self)) {
        return {};
    }
    double t = vm.toNumber(self->primitive());
    return Value((t - date::toLocal(t)) / 60000.0);
}

Value dateToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!isDate(vm, self)) {
        return Value(Str("[object Object]"));
    }
    return Value(Str(date::format(vm.toNumber(self->primitive()))));
}

Value dateSetTime(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!isDate(vm, self)) {
        return {};
    }
    double t = args.empty() ? NAN : date::timeClip(vm.toNumber(args[0]));
    self->primitive() = Value(t);
    return Value(t);
}

// How a setter converts its arguments. Most truncate and let NaN make the
// date invalid; setMinutes converts like a 32-bit integer cast (NaN and
// infinities become INT32_MIN); setMonth reads a NaN month as 0; setYear
// reads a year from 0 to 99 as 1900 to 1999.
enum SetterMode : int { Truncate = 0, IntCast = 64, MonthNanZero = 128, ShortYear = 256 };

double setterArgument(Vm& vm, const Value& value, int mode, bool firstArg)
{
    double n = vm.toNumber(value);
    if (mode & IntCast) {
        return date::yearArgument(n);
    }
    if ((mode & MonthNanZero) && firstArg && std::isnan(n)) {
        return 0;
    }
    if ((mode & ShortYear) && firstArg && n >= 0 && n < 100) {
        n += 1900;
    }
    return date::integerPart(n);
}

// data: first field set, how many arguments it takes, 32 for UTC, and the
// argument mode. Fields the call leaves out keep their value; an invalid
// date stays invalid.
Value dateSet(Vm& vm, Object* self, std::span<const Value> args, const Value& data)
{
    if (!isDate(vm, self)) {
        return {};
    }
    int code = int(data.number());
    int first = code & 7;
    size_t count = size_t((code >> 3) & 3) + 1;
    bool utc = code & 32;
    double t = vm.toNumber(self->primitive());
    double result = NAN;
    if (std::isfinite(t)) {
        Fields f = date::split(utc ? t : date::toLocal(t));
        double* slots[] = {&f.year, &f.month, &f.date, &f.hours, &f.minutes, &f.seconds, &f.ms};
        size_t given = std::max<size_t>(args.size(), 1);
        for (size_t i = 0; i < given && i < count && first + i < 7; ++i) {
            *slots[first + i] = setterArgument(vm, arg(args, i), code, i == 0);
        }
        double joined = date::join(f);
        result = date::timeClip(utc ? joined : date::toUtc(joined));
    }
    self->primitive() = Value(result);
    return Value(result);
}

void defineSetter(Vm& vm, Object* proto, std::string_view name, int first, int count,
                  int mode = Truncate)
{
    std::string utcName = "setUTC" + std::string(name.substr(3));
    int code = first | ((count - 1) << 3) | mode;
    vm.defineMethod(proto, name, dateSet, Value(double(code)));
    vm.defineMethod(proto, utcName, dateSet, Value(double(code | 32)));
}

void defineGetter(Vm& vm, Object* proto, std::string_view name, int field)
{
    std::string utcName = "getUTC" + std::string(name.substr(3));
    vm.defineMethod(proto, name, dateGet, Value(double(field)));
    vm.defineMethod(proto, utcName, dateGet, Value(double(field | 16)));
}

} // namespace

void installDateBuiltins(Vm& vm)
{
    Object* proto = vm.newObject();
    vm.dateProto = proto;
    FunctionObject* ctor = vm.defineClass("Date", dateCall, dateConstruct, proto);
    vm.defineMethod(ctor, "UTC", dateUtc);

    defineGetter(vm, proto, "getFullYear", FullYear);
    defineGetter(vm, proto, "getYear", Year);
    defineGetter(vm, proto, "getMonth", Month);
    defineGetter(vm, proto, "getDate", DayOfMonth);
    defineGetter(vm, proto, "getDay", Weekday);
    defineGetter(vm, proto, "getHours", Hours);
    defineGetter(vm, proto, "getMinutes", Minutes);
    defineGetter(vm, proto, "getSeconds", Seconds);
    defineGetter(vm, proto, "getMilliseconds", Ms);
    vm.defineMethod(proto, "getTime", dateGetTime);
    vm.defineMethod(proto, "valueOf", dateGetTime);
    vm.defineMethod(proto, "getTimezoneOffset", dateTimezoneOffset);
    vm.defineMethod(proto, "toString", dateToString);

    defineSetter(vm, proto, "setFullYear", 0, 3);
    defineSetter(vm, proto, "setMonth", 1, 2, MonthNanZero);
    defineSetter(vm, proto, "setDate", 2, 1);
    defineSetter(vm, proto, "setHours", 3, 4);
    defineSetter(vm, proto, "setMinutes", 4, 3, IntCast);
    defineSetter(vm, proto, "setSeconds", 5, 2);
    defineSetter(vm, proto, "setMilliseconds", 6, 1);
    vm.defineMethod(proto, "setYear", dateSet, Value(double(0 | (2 << 3) | ShortYear)));
    vm.defineMethod(proto, "setTime", dateSetTime);
}

} // namespace zf::avm1
