// String, Number and Math.
#include "vm_p.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace zf::avm1 {

namespace {

std::u32string decode(std::string_view text)
{
    std::u32string out;
    size_t offset = 0;
    while (offset < text.size()) {
        out.push_back(utf8Decode(text, offset));
    }
    return out;
}

std::string encode(std::u32string_view text)
{
    std::string out;
    for (char32_t c : text) {
        out += utf8Encode(c);
    }
    return out;
}

// The string a String method works on: the boxed value or `this` converted.
std::u32string selfText(Vm& vm, Object* self)
{
    if (self && self->kind() == Kind::String) {
        return decode(self->primitive().stringView());
    }
    return decode(vm.toStr(Value(self)).view());
}

double integerArg(Vm& vm, std::span<const Value> args, size_t i, double fallback)
{
    if (i >= args.size() || args[i].isUndefined()) {
        return fallback;
    }
    // Positions and counts wrap as 32-bit integers (2^32 + 1 is 1).
    return double(toInt32(vm.toNumber(args[i])));
}

size_t clampTo(double n, size_t length)
{
    return n <= 0 ? 0 : n >= double(length) ? length : static_cast<size_t>(n);
}

Value stringCall(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return args.empty() ? Value(Str()) : Value(vm.toStr(args[0]));
}

// `new String(s)` gets its own hidden, undeletable length, which scripts may
// overwrite; primitive strings answer `length` through the prototype lookup.
Value stringConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    Object* object = vm.toObject(args.empty() ? Value(Str()) : Value(vm.toStr(args[0])));
    if (object) {
        const double length = double(selfText(vm, object).size());
        vm.defineValue(object, "length", Value(length), DontEnum | DontDelete);
    }
    return Value(object);
}

Value stringValueOf(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (self && self->kind() == Kind::String) {
        return self->primitive();
    }
    return Value(vm.toStr(Value(self)));
}

Value stringCharAt(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    std::u32string text = selfText(vm, self);
    double i = integerArg(vm, args, 0, 0);
    if (i < 0 || i >= double(text.size())) {
        return Value(Str());
    }
    return Value(Str(utf8Encode(text[size_t(i)])));
}

Value stringCharCodeAt(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    std::u32string text = selfText(vm, self);
    double i = integerArg(vm, args, 0, 0);
    if (i < 0 || i >= double(text.size())) {
        // SWF 5 reads past the end as the terminating NUL.
        return Value(i >= 0 && vm.version() <= 5 ? 0.0 : NAN);
    }
    return Value(double(text[size_t(i)]));
}

Value stringConcat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    std::string out = encode(selfText(vm, self));
    for (const auto& value : args) {
        out += vm.toStr(value).view();
    }
    return Value(Str(std::move(out)));
}

Value stringIndexOf(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::u32string text = selfText(vm, self);
    std::u32string needle = decode(vm.toStr(arg(args, 0)).view());
    double start = integerArg(vm, args, 1, 0);
    if (start > double(text.size())) {
        return Value(-1.0);
    }
    size_t from = clampTo(start, text.size());
    size_t found = text.find(needle, from);
    return Value(found == std::u32string::npos ? -1.0 : double(found));
}

Value stringLastIndexOf(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::u32string text = selfText(vm, self);
    std::u32string needle = decode(vm.toStr(arg(args, 0)).view());
    double from = integerArg(vm, args, 1, double(text.size()));
    if (from < 0) {
        return Value(-1.0);
    }
    size_t found = text.rfind(needle, clampTo(from, text.size()));
    return Value(found == std::u32string::npos ? -1.0 : double(found));
}

Value stringSlice(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::u32string text = selfText(vm, self);
    double length = double(text.size());
    double from = integerArg(vm, args, 0, 0);
    double to = integerArg(vm, args, 1, length);
    if (from < 0) {
        from += length;
    }
    if (to < 0) {
        to += length;
    }
    size_t a = clampTo(from, text.size());
    size_t b = clampTo(to, text.size());
    return Value(Str(a < b ? encode(text.substr(a, b - a)) : std::string()));
}

Value stringSubstring(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::u32string text = selfText(vm, self);
    size_t a = clampTo(integerArg(vm, args, 0, 0), text.size());
    size_t b = clampTo(integerArg(vm, args, 1, double(text.size())), text.size());
    if (a > b) {
        std::swap(a, b);
    }
    return Value(Str(encode(text.substr(a, b - a))));
}

Value stringSubstr(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::u32string text = selfText(vm, self);
    double length = double(text.size());
    double from = integerArg(vm, args, 0, 0);
    if (from < 0) {
        from = std::max(0.0, from + length);
    }
    size_t a = clampTo(from, text.size());
    double count = integerArg(vm, args, 1, length);
    if (count < 0) {
        // A negative count is taken from the length, and the result must
        // then end before the last character.
        count += length;
        if (double(a) + count >= length) {
            count = 0;
        }
    }
    size_t n = clampTo(count, text.size() - a);
    return Value(Str(encode(text.substr(a, n))));
}

Value stringSplit(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    std::u32string text = selfText(vm, self);
    ArrayObject* result = vm.newArray();
    bool noSeparator = args.empty() || args[0].isUndefined();
    if (noSeparator && vm.version() >= 6) {
        result->push(vm, Value(Str(encode(text))));
        return Value(result);
    }
    // SWF 5 splits at commas when no separator is given, and does not
    // split at all on an empty one.
    std::u32string separator = noSeparator ? U"," : decode(vm.toStr(args[0]).view());
    if (separator.empty() && vm.version() <= 5) {
        if (integerArg(vm, args, 1, 1) > 0) {
            result->push(vm, Value(Str(encode(text))));
        }
        return Value(result);
    }
    double limit = integerArg(vm, args, 1, double(MaxArrayLength));
    auto room = [&] { return double(result->length()) < limit; };
    if (separator.empty()) {
        for (size_t i = 0; i < text.size() && room(); ++i) {
            result->push(vm, Value(Str(utf8Encode(text[i]))));
        }
        return Value(result);
    }
    size_t start = 0;
    while (room()) {
        size_t found = text.find(separator, start);
        if (found == std::u32string::npos) {
            result->push(vm, Value(Str(encode(text.substr(start)))));
            break;
        }
        result->push(vm, Value(Str(encode(text.substr(start, found - start)))));
        start = found + separator.size();
    }
    return Value(result);
}

Value stringToLowerCase(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    std::u32string text = selfText(vm, self);
    for (auto& c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
            c += 32;
        }
    }
    return Value(Str(encode(text)));
}

Value stringToUpperCase(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    std::u32string text = selfText(vm, self);
    for (auto& c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            c -= 32;
        }
    }
    return Value(Str(encode(text)));
}

Value stringFromCharCode(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    std::string out;
    for (const auto& value : args) {
        uint32_t c = toUint32(vm.toNumber(value)) & 0xFFFF;
        if (c == 0) {
            break; // a NUL ends the string
        }
        out += utf8Encode(c);
    }
    return Value(Str(std::move(out)));
}

// --- Number -------------------------------------------------------------------

Value numberCall(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(args.empty() ? 0.0 : vm.toNumber(args[0]));
}

Value numberConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    return Value(vm.toObject(Value(args.empty() ? 0.0 : vm.toNumber(args[0]))));
}

Value numberToStringMethod(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self || self->kind() != Kind::Number) {
        return {};
    }
    double n = self->primitive().number();
    int radix = args.empty() || args[0].isUndefined() ? 10 : toInt32(vm.toNumber(args[0]));
    return Value(Str(numberToRadix(n, radix)));
}

// --- Math ---------------------------------------------------------------------

template <double (*F)(double)>
Value mathUnary(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return Value(NAN);
    }
    double n = vm.toNumber(args[0]);
    // The one-argument functions still convert a second argument (its
    // valueOf runs) before ignoring it.
    if (args.size() > 1) {
        vm.toNumber(args[1]);
    }
    return Value(F(n));
}

double roundHalfUp(double n)
{
    return std::floor(n + 0.5);
}

// The two operands of a binary Math function, converted left to right
// (both valueOf calls are observable; a throw in the first skips the second).
std::pair<double, double> mathOperands(Vm& vm, std::span<const Value> args)
{
    double a = vm.toNumber(arg(args, 0));
    if (vm.pending() != Pending::None) {
        return {NAN, NAN};
    }
    return {a, vm.toNumber(arg(args, 1))};
}

Value mathAtan2(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    auto [y, x] = mathOperands(vm, args);
    return Value(std::atan2(y, x));
}

Value mathPow(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    auto [a, b] = mathOperands(vm, args);
    return Value(std::pow(a, b));
}

// min and max take exactly two operands: a missing second one is undefined,
// so a single argument gives NaN from SWF 7 on; no arguments gives the identity.
Value mathMin(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return Value(INFINITY);
    }
    auto [a, b] = mathOperands(vm, args);
    return Value(std::isnan(a) || std::isnan(b) ? NAN : std::min(a, b));
}

Value mathMax(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return Value(-INFINITY);
    }
    auto [a, b] = mathOperands(vm, args);
    return Value(std::isnan(a) || std::isnan(b) ? NAN : std::max(a, b));
}

Value mathRandom(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    // Arguments are ignored, but like the other functions up to two are converted.
    if (!args.empty()) {
        mathOperands(vm, args);
    }
    static thread_local std::mt19937_64 engine(std::random_device{}());
    return Value(std::uniform_real_distribution<double>(0.0, 1.0)(engine));
}

double absolute(double n)
{
    return std::fabs(n);
}
double sine(double n)
{
    return std::sin(n);
}
double cosine(double n)
{
    return std::cos(n);
}
double tangent(double n)
{
    return std::tan(n);
}
double arcSine(double n)
{
    return std::asin(n);
}
double arcCosine(double n)
{
    return std::acos(n);
}
double arcTangent(double n)
{
    return std::atan(n);
}
double exponential(double n)
{
    return std::exp(n);
}
double logarithm(double n)
{
    return std::log(n);
}
double squareRoot(double n)
{
    return std::sqrt(n);
}
double floorOf(double n)
{
    return std::floor(n);
}
double ceilingOf(double n)
{
    return std::ceil(n);
}

} // namespace

void installStringBuiltins(Vm& vm)
{
    vm.stringProto = vm.newObject();
    Object* proto = vm.stringProto;
    FunctionObject* string = vm.defineClass("String", stringCall, stringConstruct, proto);
    vm.defineMethod(string, "fromCharCode", stringFromCharCode);
    vm.defineMethod(proto, "toString", stringValueOf);
    vm.defineMethod(proto, "valueOf", stringValueOf);
    vm.defineMethod(proto, "charAt", stringCharAt);
    vm.defineMethod(proto, "charCodeAt", stringCharCodeAt);
    vm.defineMethod(proto, "concat", stringConcat);
    vm.defineMethod(proto, "indexOf", stringIndexOf);
    vm.defineMethod(proto, "lastIndexOf", stringLastIndexOf);
    vm.defineMethod(proto, "slice", stringSlice);
    vm.defineMethod(proto, "substring", stringSubstring);
    vm.defineMethod(proto, "substr", stringSubstr);
    vm.defineMethod(proto, "split", stringSplit);
    vm.defineMethod(proto, "toLowerCase", stringToLowerCase);
    vm.defineMethod(proto, "toUpperCase", stringToUpperCase);

    vm.numberProto = vm.newObject();
    FunctionObject* number = vm.defineClass("Number", numberCall, numberConstruct, vm.numberProto);
    vm.defineMethod(vm.numberProto, "toString", numberToStringMethod);
    vm.defineMethod(vm.numberProto, "valueOf",
                    [](Vm&, Object* self, std::span<const Value>, const Value&) -> Value {
                        return self && self->kind() == Kind::Number ? self->primitive() : Value();
                    });
    uint8_t constant = DontEnum | DontDelete | ReadOnly;
    vm.defineValue(number, "MAX_VALUE", Value(1.79769313486231e+308), constant);
    vm.defineValue(number, "MIN_VALUE", Value(4.94065645841247e-324), constant);
    vm.defineValue(number, "NaN", Value(NAN), constant);
    vm.defineValue(number, "NEGATIVE_INFINITY", Value(-INFINITY), constant);
    vm.defineValue(number, "POSITIVE_INFINITY", Value(INFINITY), constant);
}

void installMathBuiltins(Vm& vm)
{
    Object* math = vm.newObject();
    vm.defineValue(vm.global(), "Math", math);
    uint8_t constant = DontEnum | DontDelete | ReadOnly;
    vm.defineValue(math, "E", Value(2.718281828459045), constant);
    vm.defineValue(math, "LN10", Value(2.302585092994046), constant);
    vm.defineValue(math, "LN2", Value(0.6931471805599453), constant);
    vm.defineValue(math, "LOG10E", Value(0.4342944819032518), constant);
    vm.defineValue(math, "LOG2E", Value(1.4426950408889634), constant);
    vm.defineValue(math, "PI", Value(3.141592653589793), constant);
    vm.defineValue(math, "SQRT1_2", Value(0.7071067811865476), constant);
    vm.defineValue(math, "SQRT2", Value(1.4142135623730951), constant);
    vm.defineMethod(math, "abs", mathUnary<absolute>);
    vm.defineMethod(math, "sin", mathUnary<sine>);
    vm.defineMethod(math, "cos", mathUnary<cosine>);
    vm.defineMethod(math, "tan", mathUnary<tangent>);
    vm.defineMethod(math, "asin", mathUnary<arcSine>);
    vm.defineMethod(math, "acos", mathUnary<arcCosine>);
    vm.defineMethod(math, "atan", mathUnary<arcTangent>);
    vm.defineMethod(math, "exp", mathUnary<exponential>);
    vm.defineMethod(math, "log", mathUnary<logarithm>);
    vm.defineMethod(math, "sqrt", mathUnary<squareRoot>);
    vm.defineMethod(math, "floor", mathUnary<floorOf>);
    vm.defineMethod(math, "ceil", mathUnary<ceilingOf>);
    vm.defineMethod(math, "round", mathUnary<roundHalfUp>);
    vm.defineMethod(math, "atan2", mathAtan2);
    vm.defineMethod(math, "pow", mathPow);
    vm.defineMethod(math, "min", mathMin);
    vm.defineMethod(math, "max", mathMax);
    vm.defineMethod(math, "random", mathRandom);
}

} // namespace zf::avm1
