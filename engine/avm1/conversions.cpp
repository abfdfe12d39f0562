// Conversions between value types and the equality and ordering rules,
// each by the version rules of the running code.
#include "vm_p.h"

#include <cmath>

namespace zf::avm1 {

namespace {
constexpr int MaxProtoDepth = 256;

FunctionObject* asFunction(const Value& value)
{
    Object* o = value.object();
    return o && o->kind() == Kind::Function ? static_cast<FunctionObject*>(o) : nullptr;
}
} // namespace

// --- conversions ----------------------------------------------------------

Value Vm::toPrimitive(const Value& value, bool preferString)
{
    Object* object = value.object();
    if (!object) {
        return value;
    }
    // A clip's primitive value is its path whatever the hint, so "" + clip
    // and clip + "" both give "_level0.name".
    if (object->kind() == Kind::Clip) {
        std::string path = m_binding->targetPath(object);
        // A clip that left the stage is the empty string.
        if (!path.empty() || m_binding->isRemoved(object)) {
            return Value(Str(std::move(path)));
        }
    }
    // One method is asked: valueOf, or toString for dates and when a
    // string is preferred. Whatever it gives is passed on, an object too
    // (the default valueOf returns the object itself): callers treat that
    // as NaN or convert the original with toString.
    bool stringFirst = preferString || object->kind() == Kind::Date;
    Value method = get(object, stringFirst ? m_common.toString : m_common.valueOf);
    if (!asFunction(method)) {
        return {};
    }
    Value result = call(method, object, {});
    return m_pending != Pending::None ? Value() : result;
}

double Vm::toNumber(const Value& value)
{
    switch (value.type()) {
    case Type::Number: return value.number();
    case Type::Boolean: return value.boolean() ? 1 : 0;
    case Type::Undefined:
    case Type::Null: return version() <= 6 ? 0 : NAN;
    case Type::String: return stringToNumber(value.stringView(), version());
    case Type::Object: {
        // When valueOf gives an object the string form is read instead
        // (in SWF 4 "[object Object]" reads as 0).
        Value primitive = toPrimitive(value);
        if (m_pending != Pending::None) {
            return NAN;
        }
        if (primitive.isObject()) {
            return stringToNumber(toStr(value).view(), version());
        }
        return toNumber(primitive);
    }
    }
    return NAN;
}

Str Vm::toStr(const Value& value)
{
    switch (value.type()) {
    case Type::String: return value.string();
    case Type::Number: return Str(numberToString(value.number()));
    case Type::Boolean:
        if (version() <= 4) {
            return Str(value.boolean() ? "1" : "0");
        }
        return Str(value.boolean() ? "true" : "false");
    case Type::Undefined: return version() <= 6 ? Str() : m_common.undefined;
    case Type::Null: return m_common.nullName;
    case Type::Object: {
        if (value.object()->kind() == Kind::Clip) {
            // A clip converts to its path; a removed one to the empty string.
            return Str(m_binding->targetPath(value.object()));
        }
        Object* object = value.object();
        Value method = get(object, m_common.toString);
        const char* fallback =
            object->kind() == Kind::Function ? "[type Function]" : "[type Object]";
        if (!method.object() || method.object()->kind() != Kind::Function) {
            return Str(fallback);
        }
        Value result = call(method, object, {});
        return result.isString() ? result.string() : Str(fallback);
    }
    }
    return {};
}

bool Vm::toBoolean(const Value& value)
{
    switch (value.type()) {
    case Type::Boolean: return value.boolean();
    case Type::Number: return value.number() != 0 && !std::isnan(value.number());
    case Type::String:
        if (version() >= 7) {
            return !value.stringView().empty();
        } else {
            double n = stringToNumber(value.stringView(), version());
            return n != 0 && !std::isnan(n);
        }
    case Type::Object: return true;
    default: return false;
    }
}

Object* Vm::toObject(const Value& value)
{
    switch (value.type()) {
    case Type::Object: return value.object();
    case Type::String: {
        Object* box = m_heap.make<Object>(stringProto, Kind::String);
        box->primitive() = value;
        return box;
    }
    case Type::Number: {
        Object* box = m_heap.make<Object>(numberProto, Kind::Number);
        box->primitive() = value;
        return box;
    }
    case Type::Boolean: {
        Object* box = m_heap.make<Object>(booleanProto, Kind::Boolean);
        box->primitive() = value;
        return box;
    }
    default: return nullptr;
    }
}

Str Vm::typeOf(const Value& value)
{
    switch (value.type()) {
    case Type::Undefined: return m_common.undefined;
    case Type::Null: return m_common.nullName;
    case Type::Boolean: return m_common.boolean;
    case Type::Number: return m_common.number;
    case Type::String: return m_common.string;
    case Type::Object:
        switch (value.object()->kind()) {
        case Kind::Function: return m_common.function;
        case Kind::Clip:
            return m_binding->isMovieClip(value.object()) ? m_common.movieclip : m_common.object;
        default: return m_common.object;
        }
    }
    return m_common.undefined;
}

Value Vm::numberOrError(double n)
{
    if (version() <= 4 && std::isinf(n)) {
        return Value(Str("#ERROR#"));
    }
    return Value(n);
}

bool Vm::strictEquals(const Value& a, const Value& b)
{
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case Type::Undefined:
    case Type::Null: return true;
    case Type::Boolean: return a.boolean() == b.boolean();
    case Type::Number:
        // Unlike IEEE comparison, NaN equals NaN here.
        return a.number() == b.number() || (std::isnan(a.number()) && std::isnan(b.number()));
    case Type::String: return a.stringView() == b.stringView();
    case Type::Object:
        if (a.object() == b.object()) {
            return true;
        }
        // Clip references are equal when they name the same path.
        if (a.object()->kind() == Kind::Clip && b.object()->kind() == Kind::Clip) {
            std::string path = m_binding->targetPath(a.object());
            return !path.empty() && path == m_binding->targetPath(b.object());
        }
        return false;
    }
    return false;
}

bool Vm::abstractEquals(const Value& a, const Value& b)
{
    // SWF 5 compares two distinct objects by what valueOf gives (boxed
    // primitives compare by value; plain objects give themselves).
    if (version() <= 5 && a.isObject() && b.isObject() && a.object() != b.object() &&
        a.object()->kind() != Kind::Clip && b.object()->kind() != Kind::Clip) {
        Value x = callMethod(a.object(), m_common.valueOf, {});
        Value y = callMethod(b.object(), m_common.valueOf, {});
        return !x.isObject() && !y.isObject() && abstractEquals(x, y);
    }
    if (a.type() == b.type()) {
        return strictEquals(a, b);
    }
    if (a.isNullish() && b.isNullish()) {
        return true;
    }
    // An object without a primitive value (no valueOf/toString) equals undefined.
    if (a.isObject() && b.isNullish()) {
        return toPrimitive(a).isUndefined();
    }
    if (b.isObject() && a.isNullish()) {
        return toPrimitive(b).isUndefined();
    }
    if (a.isNullish() || b.isNullish()) {
        return false;
    }
    if (a.isBoolean()) {
        return abstractEquals(Value(a.boolean() ? 1.0 : 0.0), b);
    }
    if (b.isBoolean()) {
        return abstractEquals(a, Value(b.boolean() ? 1.0 : 0.0));
    }
    if (a.isNumber() && b.isString()) {
        return a.number() == toNumber(b);
    }
    if (a.isString() && b.isNumber()) {
        return toNumber(a) == b.number();
    }
    if (a.isObject() && !b.isObject()) {
        Value primitive = toPrimitive(a);
        return !primitive.isObject() && abstractEquals(primitive, b);
    }
    if (b.isObject() && !a.isObject()) {
        Value primitive = toPrimitive(b);
        return !primitive.isObject() && abstractEquals(a, primitive);
    }
    return false;
}

bool Vm::instanceOf(Object* object, Object* constructor)
{
    if (!object || !constructor) {
        return false;
    }
    Value prototype = get(constructor, m_common.prototype);
    Object* wanted = prototype.object();
    int depth = 0;
    for (Object* o = object->proto(); o && depth < MaxProtoDepth; o = o->proto(), ++depth) {
        if (o == wanted) {
            return true;
        }
        for (Object* iface : o->interfaces()) {
            if (iface == constructor) {
                return true;
            }
            Value ifaceProto = get(iface, m_common.prototype);
            if (ifaceProto.object() && ifaceProto.object() == wanted) {
                return true;
            }
        }
    }
    return false;
}

} // namespace zf::avm1
