// Array.prototype: methods that work on any object with a length (arrays,
// arguments objects, plain objects reached through call/apply), and the
// Array constructor.
#include "array_p.h"

#include "object_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

// --- element access -----------------------------------------------------------

ElementAccess::ElementAccess(Vm& vm, Object* self)
    : m_vm(vm), m_self(self),
      m_array(self && self->kind() == Kind::Array ? static_cast<ArrayObject*>(self) : nullptr)
{
}

int32_t ElementAccess::length()
{
    if (m_array) {
        return m_array->length();
    }
    return toInt32(m_vm.toNumber(m_vm.get(m_self, m_vm.names().length)));
}

Value ElementAccess::get(int64_t index)
{
    if (m_array) {
        if (const Value* element = m_array->denseAt(double(index))) {
            return *element;
        }
    }
    return m_vm.get(m_self, indexName(m_vm, index));
}

void ElementAccess::set(int64_t index, Value value)
{
    if (m_array && m_array->watchers().empty() && m_array->trySetDense(double(index), value)) {
        return;
    }
    m_vm.set(m_self, indexName(m_vm, index), std::move(value));
}

void ElementAccess::remove(int64_t index)
{
    m_vm.remove(m_self, indexName(m_vm, index));
}

void ElementAccess::setLength(double length)
{
    m_vm.set(m_self, m_vm.names().length, Value(length));
}

std::vector<Value> ElementAccess::read(int64_t from, int64_t to)
{
    std::vector<Value> out;
    to = std::min(to, from + MaxRewrite);
    for (int64_t i = from; i < to && m_vm.pending() == Pending::None; ++i) {
        out.push_back(get(i));
    }
    return out;
}

void ElementAccess::rewrite(int32_t oldLength, std::vector<Value> values, double newLength)
{
    int64_t count = std::min<int64_t>(oldLength, MaxRewrite);
    if (m_array && !m_array->spilled() && m_array->watchers().empty()) {
        m_array->assign(std::move(values));
        if (double(m_array->length()) != newLength) {
            setLength(newLength);
        }
        return;
    }
    // Every old element goes first (those that cannot be deleted stay where
    // they are in the order); the new ones are then added in index order.
    if (m_array && m_array->spilled()) {
        m_array->removeElements(m_vm, 0, count);
    } else {
        for (int64_t i = 0; i < count; ++i) {
            remove(i);
        }
    }
    for (size_t i = 0; i < values.size() && m_vm.pending() == Pending::None; ++i) {
        set(int64_t(i), std::move(values[i]));
    }
    setLength(newLength);
}

void ElementAccess::storeSparse(int64_t oldLength, std::vector<std::pair<int64_t, Value>> elements,
                                double newLength)
{
    m_array->removeElements(m_vm, 0, oldLength);
    std::stable_sort(elements.begin(), elements.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, value] : elements) {
        set(index, std::move(value));
    }
    setLength(newLength);
}

// --- the methods ------------------------------------------------------------

namespace {

// The relative index rule of slice/splice: negatives count from the end.
int64_t clampIndex(Vm& vm, const Value& value, int64_t length)
{
    double n = std::trunc(vm.toNumber(value));
    if (std::isnan(n)) {
        n = 0;
    }
    if (n < 0) {
        n = std::max(0.0, double(length) + n);
    }
    return static_cast<int64_t>(std::min(n, double(length)));
}

Value arrayConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    ArrayObject* array = vm.newArray();
    if (args.size() == 1 && args[0].isNumber()) {
        array->setLength(vm, args[0].number());
    } else {
        array->assign(std::vector<Value>(args.begin(), args.end()));
    }
    return Value(array);
}

// Joins at most this many elements: a sparse array may claim billions.
constexpr int64_t MaxJoined = 1 << 22;
constexpr size_t MaxJoinBytes = 64u << 20;

Value arrayJoin(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    std::string separator = args.empty() || args[0].isUndefined() ? "," : vm.toString(args[0]);
    ElementAccess elements(vm, self);
    int64_t length = std::min<int64_t>(elements.length(), MaxJoined);
    std::string out;
    for (int64_t i = 0; i < length && out.size() < MaxJoinBytes; ++i) {
        if (i) {
            out += separator;
        }
        Value element = elements.get(i);
        if (!element.isUndefined()) {
            out += vm.toStr(element).view();
        } else if (vm.swfVersion() >= 7) {
            out += "undefined";
        }
        if (vm.pending() != Pending::None) {
            return {};
        }
    }
    return Value(Str(out));
}

Value arrayToString(Vm& vm, Object* self, std::span<const Value>, const Value& data)
{
    return arrayJoin(vm, self, {}, data);
}

Value arrayPush(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int64_t length = elements.length();
    for (size_t i = 0; i < args.size(); ++i) {
        elements.set(length + int64_t(i), args[i]);
    }
    double newLength = double(length) + double(args.size());
    elements.setLength(newLength);
    return Value(double(elements.length()));
}

Value arrayUnshift(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    if (elements.sparse(length)) {
        std::vector<std::pair<int64_t, Value>> added;
        for (size_t i = 0; i < args.size(); ++i) {
            added.emplace_back(int64_t(i), args[i]);
        }
        int64_t n = int64_t(args.size());
        elements.reindex(
            length, [n](int64_t i, const Value&) { return i + n; }, std::move(added),
            double(length) + double(n));
        return Value(double(elements.length()));
    }
    std::vector<Value> values(args.begin(), args.end());
    std::vector<Value> old = elements.read(0, length);
    values.insert(values.end(), old.begin(), old.end());
    double newLength = double(std::max(length, 0)) + double(args.size());
    elements.rewrite(length, std::move(values), newLength);
    return Value(double(elements.length()));
}

Value arrayPop(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    if (length <= 0) {
        return {};
    }
    Value last = elements.get(length - 1);
    elements.remove(length - 1);
    elements.setLength(double(length - 1));
    return last;
}

Value arrayShift(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    if (length <= 0) {
        return {};
    }
    Value first = elements.get(0);
    if (elements.sparse(length)) {
        elements.reindex(
            length, [](int64_t i, const Value&) { return i - 1; }, {}, length - 1);
        return first;
    }
    elements.rewrite(length, elements.read(1, length), double(length - 1));
    return first;
}

Value arrayReverse(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    if (elements.sparse(length)) {
        int64_t last = length - 1;
        elements.reindex(
            length, [last](int64_t i, const Value&) { return last - i; }, {}, double(length));
        return Value(self);
    }
    std::vector<Value> values = elements.read(0, length);
    std::reverse(values.begin(), values.end());
    elements.rewrite(length, std::move(values), double(std::max(length, 0)));
    return Value(self);
}

Value arraySlice(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    ElementAccess elements(vm, self);
    int64_t length = std::max(elements.length(), 0);
    int64_t from = args.empty() ? 0 : clampIndex(vm, args[0], length);
    int64_t to = arg(args, 1).isUndefined() ? length : clampIndex(vm, args[1], length);
    return Value(vm.newArray(from < to ? elements.read(from, to) : std::vector<Value>()));
}

Value spliceSparse(Vm& vm, ElementAccess& elements, int32_t length, int64_t from, int64_t count,
                   std::span<const Value> inserted)
{
    ArrayObject* removed = vm.newArray();
    int64_t added = int64_t(inserted.size());
    std::vector<std::pair<int64_t, Value>> stored;
    for (size_t i = 0; i < inserted.size(); ++i) {
        stored.emplace_back(from + int64_t(i), inserted[i]);
    }
    std::vector<std::pair<int64_t, Value>> taken;
    elements.reindex(
        length,
        [&](int64_t i, const Value& value) -> int64_t {
            if (i < from) {
                return i;
            }
            if (i < from + count) {
                taken.emplace_back(i - from, value);
                return -1;
            }
            return i - count + added;
        },
        std::move(stored), double(length - count + added));
    for (auto& [index, value] : taken) {
        vm.set(removed, indexName(vm, index), std::move(value));
    }
    removed->setLength(vm, double(count));
    return Value(removed);
}

Value arraySplice(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self || args.empty() || args[0].isUndefined()) {
        return {};
    }
    ElementAccess elements(vm, self);
    int32_t length = std::max(elements.length(), 0);
    int64_t from = clampIndex(vm, args[0], length);
    int64_t count = length - from;
    if (args.size() > 1) {
        double n = std::trunc(vm.toNumber(args[1]));
        // A count that is not a number or below zero cancels the call.
        if (std::isnan(n) || n < 0) {
            return {};
        }
        count = static_cast<int64_t>(std::min(n, double(count)));
    }
    if (elements.sparse(length)) {
        return spliceSparse(vm, elements, length, from, count,
                            args.subspan(std::min<size_t>(2, args.size())));
    }
    std::vector<Value> values = elements.read(0, length);
    if (int64_t(values.size()) < from + count) {
        return {}; // a script error stopped the reading
    }
    auto first = values.begin() + std::ptrdiff_t(from);
    std::vector<Value> removed(first, first + std::ptrdiff_t(count));
    values.erase(first, first + std::ptrdiff_t(count));
    if (args.size() > 2 && values.size() + args.size() <= MaxArrayLength) {
        values.insert(values.begin() + std::ptrdiff_t(from), args.begin() + 2, args.end());
    }
    double newLength = double(values.size());
    elements.rewrite(length, std::move(values), newLength);
    return Value(vm.newArray(std::move(removed)));
}

Value arrayConcat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    std::vector<Value> values;
    if (self) {
        ElementAccess elements(vm, self);
        values = elements.read(0, elements.length());
    }
    for (const auto& value : args) {
        Object* other = value.object();
        if (other && other->kind() == Kind::Array) {
            ElementAccess elements(vm, other);
            std::vector<Value> more = elements.read(0, elements.length());
            if (values.size() + more.size() <= MaxArrayLength) {
                values.insert(values.end(), more.begin(), more.end());
            }
        } else if (values.size() < MaxArrayLength) {
            values.push_back(value);
        }
    }
    return Value(vm.newArray(std::move(values)));
}

} // namespace

void installArrayBuiltins(Vm& vm)
{
    Object* proto = vm.arrayProto();
    FunctionObject* array = vm.defineClass("Array", arrayConstruct, arrayConstruct, proto);
    vm.defineValue(array, "CASEINSENSITIVE", Value(1.0), DontEnum | DontDelete | ReadOnly);
    vm.defineValue(array, "DESCENDING", Value(2.0), DontEnum | DontDelete | ReadOnly);
    vm.defineValue(array, "UNIQUESORT", Value(4.0), DontEnum | DontDelete | ReadOnly);
    vm.defineValue(array, "RETURNINDEXEDARRAY", Value(8.0), DontEnum | DontDelete | ReadOnly);
    vm.defineValue(array, "NUMERIC", Value(16.0), DontEnum | DontDelete | ReadOnly);
    vm.defineMethod(proto, "join", arrayJoin);
    vm.defineMethod(proto, "toString", arrayToString);
    vm.defineMethod(proto, "push", arrayPush);
    vm.defineMethod(proto, "pop", arrayPop);
    vm.defineMethod(proto, "shift", arrayShift);
    vm.defineMethod(proto, "unshift", arrayUnshift);
    vm.defineMethod(proto, "reverse", arrayReverse);
    vm.defineMethod(proto, "slice", arraySlice);
    vm.defineMethod(proto, "splice", arraySplice);
    vm.defineMethod(proto, "concat", arrayConcat);
    vm.defineMethod(proto, "sort", arraySort);
    vm.defineMethod(proto, "sortOn", arraySortOn);
}

} // namespace zf::avm1
