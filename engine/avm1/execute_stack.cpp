// Actions that compute on stack values: arithmetic, comparisons, logic,
// conversions, string operations and a few utilities (trace, time, random).
#include "execute_p.h"

#include "swf/actions.h"

#include <cmath>
#include <random>

namespace zf::avm1 {

using swf::ActionCode;

namespace {

std::mt19937& randomEngine()
{
    static thread_local std::mt19937 engine(std::random_device{}());
    return engine;
}

} // namespace

bool Dispatch::opAdd()
{
    auto [a, b] = popNumbers();
    push(Value(a + b));
    return true;
}

bool Dispatch::opSubtract()
{
    auto [a, b] = popNumbers();
    push(Value(a - b));
    return true;
}

bool Dispatch::opMultiply()
{
    auto [a, b] = popNumbers();
    push(Value(a * b));
    return true;
}

bool Dispatch::opDivide()
{
    auto [a, b] = popNumbers();
    if (b == 0 && m_context.version <= 4) {
        push(Value(Str("#ERROR#")));
    } else {
        push(Value(a / b));
    }
    return true;
}

bool Dispatch::opModulo()
{
    auto [a, b] = popNumbers();
    push(Value(std::fmod(a, b)));
    return true;
}

bool Dispatch::opIncrement()
{
    push(Value(m_vm.toNumber(pop()) + 1));
    return true;
}

bool Dispatch::opDecrement()
{
    push(Value(m_vm.toNumber(pop()) - 1));
    return true;
}

bool Dispatch::opAdd2()
{
    Value right = pop();
    Value left = pop();
    Value a = m_vm.toPrimitive(left);
    Value b = m_vm.toPrimitive(right);
    if (a.isNumber() && b.isNumber()) {
        push(Value(a.number() + b.number()));
    } else if (a.isString() || b.isString()) {
        // An operand whose valueOf gave an object is converted again, with
        // toString.
        std::string text = m_vm.toString(a.isObject() ? left : a);
        text += m_vm.toStr(b.isObject() ? right : b).view();
        push(Value(Str(std::move(text))));
    } else {
        // An object valueOf left as it is counts as NaN.
        double x = a.isObject() ? NAN : m_vm.toNumber(a);
        double y = b.isObject() ? NAN : m_vm.toNumber(b);
        push(Value(x + y));
    }
    return true;
}

bool Dispatch::opEquals()
{
    // Unlike the arithmetic operators, the right operand converts first.
    double b = m_vm.toNumber(pop());
    double a = m_vm.toNumber(pop());
    push(m_vm.boolResult(a == b));
    return true;
}

bool Dispatch::opLess()
{
    auto [a, b] = popNumbers();
    push(m_vm.boolResult(a < b));
    return true;
}

// Less2 and Greater. A clip compares as NaN. Other objects give their
// valueOf result (none: undefined). One whose valueOf gives an object makes
// the comparison false at once; the deeper operand converts first, so the
// other is then never converted.
bool Dispatch::opLess2()
{
    bool opaque = false;
    auto operand = [&](Value v) {
        Object* o = v.object();
        if (!o) {
            return v;
        }
        if (o->kind() == Kind::Clip) {
            return Value(NAN);
        }
        Value primitive = m_vm.callMethod(o, m_vm.m_common.valueOf, {});
        opaque = primitive.isObject();
        return primitive;
    };
    Value b = pop();
    Value a = operand(pop());
    if (!opaque) {
        b = operand(b);
    }
    if (opaque) {
        push(m_vm.boolResult(false));
        return true;
    }
    if (m_code == uint8_t(ActionCode::Greater)) {
        std::swap(a, b);
    }
    if (a.isString() && b.isString()) {
        push(m_vm.boolResult(a.stringView() < b.stringView()));
        return true;
    }
    double x = m_vm.toNumber(a);
    double y = m_vm.toNumber(b);
    if (std::isnan(x) || std::isnan(y)) {
        push(m_context.version <= 4 ? Value(0.0) : Value());
    } else {
        push(m_vm.boolResult(x < y));
    }
    return true;
}

bool Dispatch::opEquals2()
{
    Value b = pop();
    Value a = pop();
    push(m_vm.boolResult(m_vm.abstractEquals(a, b)));
    return true;
}

bool Dispatch::opStrictEquals()
{
    Value b = pop();
    Value a = pop();
    push(m_vm.boolResult(m_vm.strictEquals(a, b)));
    return true;
}

// And, Or.
bool Dispatch::opLogic()
{
    bool b = m_vm.toBoolean(pop());
    bool a = m_vm.toBoolean(pop());
    push(m_vm.boolResult(m_code == uint8_t(ActionCode::And) ? (a && b) : (a || b)));
    return true;
}

bool Dispatch::opNot()
{
    push(m_vm.boolResult(!m_vm.toBoolean(pop())));
    return true;
}

// BitAnd, BitOr, BitXor and the three shifts, on 32-bit integers.
bool Dispatch::opBitwise()
{
    auto [x, y] = popNumbers();
    int32_t a = toInt32(x);
    int32_t b = toInt32(y);
    double result = 0;
    switch (static_cast<ActionCode>(m_code)) {
    case ActionCode::BitAnd: result = a & b; break;
    case ActionCode::BitOr: result = a | b; break;
    case ActionCode::BitXor: result = a ^ b; break;
    case ActionCode::BitLShift: result = static_cast<int32_t>(uint32_t(a) << (b & 31)); break;
    case ActionCode::BitRShift: result = a >> (b & 31); break;
    default: result = uint32_t(a) >> (b & 31); break;
    }
    push(Value(result));
    return true;
}

bool Dispatch::opToInteger()
{
    double n = m_vm.toNumber(pop());
    push(Value(double(toInt32(n))));
    return true;
}

bool Dispatch::opToNumber()
{
    push(Value(m_vm.toNumber(pop())));
    return true;
}

bool Dispatch::opToString()
{
    push(Value(m_vm.toStr(pop())));
    return true;
}

bool Dispatch::opTypeOf()
{
    push(Value(m_vm.typeOf(pop())));
    return true;
}

// StringEquals, StringLess, StringGreater: byte-wise comparison.
bool Dispatch::opStringCompare()
{
    Str b = m_vm.toStr(pop());
    Str a = m_vm.toStr(pop());
    auto op = static_cast<ActionCode>(m_code);
    bool result = op == ActionCode::StringEquals ? a.view() == b.view()
                  : op == ActionCode::StringLess ? a.view() < b.view()
                                                 : a.view() > b.view();
    push(m_vm.boolResult(result));
    return true;
}

bool Dispatch::opStringAdd()
{
    Str b = m_vm.toStr(pop());
    std::string text = m_vm.toString(pop());
    text += b.view();
    push(Value(Str(std::move(text))));
    return true;
}

// StringLength counts bytes before SWF 6; MBStringLength always characters.
bool Dispatch::opStringLength()
{
    Str s = m_vm.toStr(pop());
    bool bytes = m_code == uint8_t(ActionCode::StringLength) && m_context.version < 6;
    push(Value(double(bytes ? s.size() : utf8Length(s.view()))));
    return true;
}

// StringExtract, MBStringExtract: a 1-based index and a count in characters.
bool Dispatch::opStringExtract()
{
    double count = m_vm.toNumber(pop());
    double index = m_vm.toNumber(pop());
    Str s = m_vm.toStr(pop());
    std::string_view text = s.view();
    size_t length = utf8Length(text);
    double first = std::isnan(index) ? 0 : std::max(0.0, std::trunc(index) - 1);
    double n = std::isnan(count) || count < 0 ? double(length) : std::trunc(count);
    size_t from = first >= double(length) ? length : static_cast<size_t>(first);
    size_t take = static_cast<size_t>(std::min(n, double(length - from)));
    size_t a = utf8Offset(text, from);
    size_t b = a + utf8Offset(text.substr(a), take);
    push(Value(Str(text.substr(a, b - a))));
    return true;
}

bool Dispatch::opCharToAscii()
{
    Str s = m_vm.toStr(pop());
    size_t offset = 0;
    push(s.empty() ? Value(0.0) : Value(double(utf8Decode(s.view(), offset))));
    return true;
}

bool Dispatch::opAsciiToChar()
{
    uint32_t c = toUint32(m_vm.toNumber(pop())) & 0xFFFF;
    push(c ? Value(Str(utf8Encode(c))) : Value(Str()));
    return true;
}

bool Dispatch::opTrace()
{
    Value value = pop();
    std::string text = value.isUndefined() ? std::string("undefined") : m_vm.toString(value);
    // The log is line-based: a carriage return ends a line too.
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    m_vm.trace(text);
    return true;
}

bool Dispatch::opGetTime()
{
    push(Value(std::floor(m_vm.now())));
    return true;
}

bool Dispatch::opRandomNumber()
{
    double max = m_vm.toNumber(pop());
    int32_t limit = toInt32(max);
    double result = limit > 0 ? double(randomEngine()() % uint32_t(limit)) : 0;
    push(Value(result));
    return true;
}

} // namespace zf::avm1
