// Global functions: number parsing, escape/unescape, timers, getTimer.
#include "vm_p.h"

#include <cmath>
#include <cstdlib>

namespace zf::avm1 {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int digitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    char lower = static_cast<char>(c | 0x20);
    return lower >= 'a' && lower <= 'z' ? lower - 'a' + 10 : 99;
}

Value parseIntFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::string text = vm.toString(arg(args, 0));
    bool radixGiven = args.size() > 1;
    int radix = radixGiven ? toInt32(vm.toNumber(args[1])) : 0;
    if (radixGiven && (radix < 2 || radix > 36)) {
        return Value(NAN);
    }
    auto hexPrefixAt = [&](size_t at) {
        return at + 1 < text.size() && text[at] == '0' &&
               (text[at + 1] == 'x' || text[at + 1] == 'X');
    };
    size_t i = 0;
    bool negative = false;
    bool octalAllowed = false; // leading blanks rule out octal
    if (hexPrefixAt(0)) {
        // "0x" opening the string is dropped whatever the radix; blanks and
        // a sign may follow it.
        radix = radix == 0 ? 16 : radix;
        i = 2;
        while (i < text.size() && isSpace(text[i])) {
            ++i;
        }
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            negative = text[i] == '-';
            ++i;
        }
    } else {
        while (i < text.size() && isSpace(text[i])) {
            ++i;
        }
        bool signFirst = i == 0;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
            negative = text[i] == '-';
            ++i;
        }
        if (signFirst && i == 1 && hexPrefixAt(1)) {
            // A sign before "0x" at the very start: no number without a
            // radix; with one, the digits from the "x" on read unsigned.
            if (radix == 0) {
                return Value(NAN);
            }
            negative = false;
            ++i;
        }
        octalAllowed = signFirst;
    }
    if (radix == 0 && octalAllowed && i + 1 < text.size() && text[i] == '0') {
        // A leading zero means octal only when every digit is octal.
        size_t end = i;
        while (end < text.size() && text[end] >= '0' && text[end] <= '7') {
            ++end;
        }
        radix = end == text.size() ? 8 : 10;
    }
    if (radix == 0) {
        radix = 10;
    }
    if (radix < 2 || radix > 36) {
        return Value(NAN);
    }
    double value = 0;
    size_t digits = 0;
    for (; i < text.size() && digitValue(text[i]) < radix; ++i, ++digits) {
        value = value * radix + digitValue(text[i]);
    }
    if (digits == 0) {
        return Value(NAN);
    }
    return Value(negative ? -value : value);
}

Value parseFloatFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    if (args.empty()) {
        return {};
    }
    std::string text = vm.toString(arg(args, 0));
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    // The longest prefix that reads as a decimal number. Later dots are
    // skipped over (their digits still count), and such a number takes no
    // exponent; the exponent wraps like a 32-bit integer.
    std::string number;
    size_t end = i;
    if (end < text.size() && (text[end] == '-' || text[end] == '+')) {
        number += text[end++];
    }
    size_t digits = 0;
    int dots = 0;
    for (; end < text.size(); ++end) {
        char c = text[end];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            number += c;
            ++digits;
        } else if (c == '.') {
            if (dots++ == 0) {
                number += c;
            }
        } else {
            break;
        }
    }
    if (digits == 0) {
        return Value(NAN);
    }
    if (dots <= 1 && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t e = end + 1;
        bool negativeExponent = false;
        if (e < text.size() && (text[e] == '-' || text[e] == '+')) {
            negativeExponent = text[e] == '-';
            ++e;
        }
        uint32_t exponent = 0;
        bool any = false;
        for (; e < text.size() && std::isdigit(static_cast<unsigned char>(text[e])); ++e) {
            exponent = exponent * 10 + uint32_t(text[e] - '0');
            any = true;
        }
        if (any) {
            int32_t wrapped = static_cast<int32_t>(exponent);
            number += 'e' + std::to_string(negativeExponent ? -int64_t(wrapped) : wrapped);
        }
    }
    if (number.find('e') == std::string::npos) {
        // Without an exponent the fraction is summed digit by digit with a
        // shrinking scale, which rounds differently from an exact parse
        // (".1499999" gives 0.14999990000000005).
        size_t dot = number.find('.');
        if (dot != std::string::npos && dot + 1 < number.size()) {
            double whole = std::strtod(number.substr(0, dot).c_str(), nullptr);
            bool negative = !number.empty() && number[0] == '-';
            double fraction = 0;
            double scale = 0.1;
            for (size_t k = dot + 1; k < number.size(); ++k) {
                fraction += (number[k] - '0') * scale;
                scale /= 10;
            }
            return Value(negative ? whole - fraction : whole + fraction);
        }
    }
    return Value(std::strtod(number.c_str(), nullptr));
}

Value isNaNFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    // A missing argument is NaN even where undefined converts to 0.
    return Value(args.empty() || std::isnan(vm.toNumber(args[0])));
}

Value isFiniteFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    // Called without an argument it is false even where undefined is 0.
    return Value(!args.empty() && std::isfinite(vm.toNumber(args[0])));
}

Value escapeFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    std::string text = vm.toString(arg(args, 0));
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back("0123456789ABCDEF"[c >> 4]);
            out.push_back("0123456789ABCDEF"[c & 15]);
        }
    }
    return Value(Str(std::move(out)));
}

Value unescapeFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    std::string text = vm.toString(arg(args, 0));
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && digitValue(text[i + 1]) < 16 &&
            digitValue(text[i + 2]) < 16) {
            out.push_back(
                static_cast<char>(digitValue(text[i + 1]) * 16 + digitValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return Value(Str(std::move(out)));
}

Value getTimerFn(Vm& vm, Object*, std::span<const Value>, const Value&)
{
    return Value(std::floor(vm.now()));
}

// setInterval(function, ms, args...) or setInterval(object, "method", ms, args...);
// data = true for setTimeout.
Value addTimerFn(Vm& vm, Object*, std::span<const Value> args, const Value& data)
{
    Vm::Timer timer{};
    size_t next = 0;
    Object* first = arg(args, 0).object();
    if (!first) {
        return {};
    }
    timer.function = Value(first);
    if (first->kind() != Kind::Function) {
        timer.method = vm.keyOf(arg(args, 1));
        next = 2;
    } else {
        next = 1;
    }
    double ms = vm.toNumber(arg(args, next));
    timer.interval = std::isnan(ms) || ms < 0 ? 0 : ms;
    timer.repeat = !data.boolean();
    timer.due = vm.now() + timer.interval;
    if (args.size() > next + 1) {
        timer.args.assign(args.begin() + next + 1, args.end());
    }
    return Value(double(vm.addTimer(std::move(timer))));
}

Value clearTimerFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    vm.removeTimer(toInt32(vm.toNumber(arg(args, 0))));
    return {};
}

Value randomFn(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    int32_t limit = toInt32(vm.toNumber(arg(args, 0)));
    return Value(limit > 0 ? double(std::rand() % limit) : 0.0);
}

Value noOp(Vm&, Object*, std::span<const Value>, const Value&)
{
    return {};
}

} // namespace

void installGlobalFunctions(Vm& vm)
{
    Object* global = vm.global();
    vm.defineMethod(global, "parseInt", parseIntFn);
    vm.defineMethod(global, "parseFloat", parseFloatFn);
    vm.defineMethod(global, "isNaN", isNaNFn);
    vm.defineMethod(global, "isFinite", isFiniteFn);
    vm.defineMethod(global, "escape", escapeFn);
    vm.defineMethod(global, "unescape", unescapeFn);
    vm.defineMethod(global, "getTimer", getTimerFn);
    vm.defineMethod(global, "setInterval", addTimerFn, Value(false));
    vm.defineMethod(global, "setTimeout", addTimerFn, Value(true));
    vm.defineMethod(global, "clearInterval", clearTimerFn);
    vm.defineMethod(global, "clearTimeout", clearTimerFn);
    vm.defineMethod(global, "random", randomFn);
    vm.defineMethod(global, "updateAfterEvent", noOp);
    // The player's global object carries an `o` that is null.
    vm.defineValue(global, "o", Value::null());
    // SWF 4 movies have no such globals: the names read as undefined (0 there).
    if (vm.swfVersion() >= 5) {
        vm.defineValue(global, "NaN", Value(NAN));
        vm.defineValue(global, "Infinity", Value(INFINITY));
    }
}

std::unique_ptr<Interpreter> createInterpreter(const Options& options)
{
    return std::make_unique<Vm>(options);
}

} // namespace zf::avm1
