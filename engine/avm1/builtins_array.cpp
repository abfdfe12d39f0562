// Array: the element vector behind index properties, and Array.prototype.
#include "vm_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

bool ArrayObject::getSpecial(Vm& vm, const Str& key, Value& out)
{
    if (key.rep() == vm.names().length.rep()) {
        out = Value(double(elements.size()));
        return true;
    }
    int64_t index = arrayIndex(key.view());
    if (index >= 0 && size_t(index) < elements.size() && !elements[size_t(index)].isHole()) {
        out = elements[size_t(index)];
        return true;
    }
    return false;
}

bool ArrayObject::setSpecial(Vm& vm, const Str& key, const Value& value)
{
    if (key.rep() == vm.names().length.rep()) {
        resize(vm.toNumber(value));
        return true;
    }
    int64_t index = arrayIndex(key.view());
    if (index < 0 || size_t(index) >= MaxArrayLength) {
        return false;
    }
    if (size_t(index) >= elements.size()) {
        elements.resize(size_t(index) + 1, Value::hole());
    }
    elements[size_t(index)] = value.isHole() ? Value() : value;
    return true;
}

void ArrayObject::specialKeys(Vm& vm, std::vector<Str>& keys)
{
    for (size_t i = 0; i < elements.size(); ++i) {
        if (!elements[i].isHole()) {
            keys.push_back(vm.intern(std::to_string(i)));
        }
    }
}

void ArrayObject::resize(double length)
{
    if (std::isnan(length) || length < 0) {
        return;
    }
    elements.resize(static_cast<size_t>(std::min(std::trunc(length), double(MaxArrayLength))),
                    Value::hole());
}

namespace {

enum SortFlag : uint32_t {
    CaseInsensitive = 1,
    Descending = 2,
    UniqueSort = 4,
    ReturnIndexedArray = 8,
    Numeric = 16,
};

// Methods that move elements leave every slot assigned, as the reference
// player rewrites each index.
void fillHoles(std::vector<Value>& elements)
{
    for (auto& element : elements) {
        if (element.isHole()) {
            element = Value();
        }
    }
}

Value withoutHole(Value value)
{
    return value.isHole() ? Value() : value;
}

ArrayObject* asArray(Object* self)
{
    return self && self->kind() == Kind::Array ? static_cast<ArrayObject*>(self) : nullptr;
}

// The relative index rule of slice/splice: negatives count from the end.
size_t clampIndex(Vm& vm, const Value& value, size_t length, size_t fallback)
{
    if (value.isUndefined()) {
        return fallback;
    }
    double n = std::trunc(vm.toNumber(value));
    if (std::isnan(n)) {
        n = 0;
    }
    if (n < 0) {
        n = std::max(0.0, double(length) + n);
    }
    return static_cast<size_t>(std::min(n, double(length)));
}

Value arrayConstruct(Vm& vm, Object*, std::span<const Value> args, const Value&)
{
    ArrayObject* array = vm.newArray();
    if (args.size() == 1 && args[0].isNumber()) {
        array->resize(args[0].number());
    } else {
        array->elements.assign(args.begin(), args.end());
    }
    return Value(array);
}

std::string joinArray(Vm& vm, ArrayObject* array, std::string_view separator)
{
    std::string out;
    for (size_t i = 0; i < array->elements.size(); ++i) {
        if (i) {
            out += separator;
        }
        const Value& element = array->elements[i];
        if (!element.isUndefined()) {
            out += vm.toStr(element).view();
        } else if (vm.swfVersion() >= 7) {
            out += "undefined";
        }
    }
    return out;
}

Value arrayJoin(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array) {
        return {};
    }
    std::string separator = args.empty() || args[0].isUndefined() ? "," : vm.toString(args[0]);
    return Value(Str(joinArray(vm, array, separator)));
}

Value arrayToString(Vm& vm, Object* self, std::span<const Value>, const Value&)
{
    ArrayObject* array = asArray(self);
    return array ? Value(Str(joinArray(vm, array, ","))) : Value();
}

Value arrayPush(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array) {
        return {};
    }
    if (array->elements.size() + args.size() <= MaxArrayLength) {
        array->elements.insert(array->elements.end(), args.begin(), args.end());
    }
    return Value(double(array->elements.size()));
}

Value arrayUnshift(Vm&, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array) {
        return {};
    }
    if (array->elements.size() + args.size() <= MaxArrayLength) {
        array->elements.insert(array->elements.begin(), args.begin(), args.end());
    }
    fillHoles(array->elements);
    return Value(double(array->elements.size()));
}

Value arrayPop(Vm&, Object* self, std::span<const Value>, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array || array->elements.empty()) {
        return {};
    }
    Value last = std::move(array->elements.back());
    array->elements.pop_back();
    return withoutHole(std::move(last));
}

Value arrayShift(Vm&, Object* self, std::span<const Value>, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array || array->elements.empty()) {
        return {};
    }
    Value first = std::move(array->elements.front());
    array->elements.erase(array->elements.begin());
    fillHoles(array->elements);
    return withoutHole(std::move(first));
}

Value arrayReverse(Vm&, Object* self, std::span<const Value>, const Value&)
{
    if (ArrayObject* array = asArray(self)) {
        std::reverse(array->elements.begin(), array->elements.end());
        fillHoles(array->elements);
    }
    return Value(self);
}

Value arraySlice(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array) {
        return {};
    }
    size_t length = array->elements.size();
    size_t from = clampIndex(vm, arg(args, 0), length, 0);
    size_t to = clampIndex(vm, arg(args, 1), length, length);
    ArrayObject* result = vm.newArray();
    if (from < to) {
        result->elements.assign(array->elements.begin() + from, array->elements.begin() + to);
    }
    return Value(result);
}

Value arraySplice(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array || args.empty()) {
        return {};
    }
    size_t length = array->elements.size();
    size_t from = clampIndex(vm, args[0], length, 0);
    size_t count = length - from;
    if (args.size() > 1) {
        double n = std::trunc(vm.toNumber(args[1]));
        count = std::isnan(n) || n < 0 ? 0 : static_cast<size_t>(std::min(n, double(count)));
    }
    ArrayObject* removed = vm.newArray();
    auto first = array->elements.begin() + from;
    removed->elements.assign(first, first + count);
    array->elements.erase(first, first + count);
    if (args.size() > 2 && array->elements.size() + args.size() <= MaxArrayLength) {
        array->elements.insert(array->elements.begin() + from, args.begin() + 2, args.end());
    }
    fillHoles(array->elements);
    fillHoles(removed->elements);
    return Value(removed);
}

Value arrayConcat(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    ArrayObject* result = vm.newArray();
    if (array) {
        result->elements = array->elements;
    }
    for (const auto& value : args) {
        ArrayObject* other = asArray(value.object());
        if (other) {
            if (result->elements.size() + other->elements.size() <= MaxArrayLength) {
                result->elements.insert(result->elements.end(), other->elements.begin(),
                                        other->elements.end());
            }
        } else if (result->elements.size() < MaxArrayLength) {
            result->elements.push_back(value);
        }
    }
    return Value(result);
}

// Orders two values by the sort flags; -1, 0 or 1.
int compareValues(Vm& vm, const Value& a, const Value& b, uint32_t flags)
{
    if (flags & Numeric && a.isNumber() && b.isNumber()) {
        double x = a.number();
        double y = b.number();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    std::string x = vm.toString(a);
    std::string y = vm.toString(b);
    if (a.isUndefined()) {
        x = "undefined";
    }
    if (b.isUndefined()) {
        y = "undefined";
    }
    if (flags & CaseInsensitive) {
        x = foldCase(x);
        y = foldCase(y);
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

// Sorts indices with a comparison that may call script; returns false when
// UNIQUESORT found equal elements (then nothing changes).
template <class Compare>
bool sortIndices(std::vector<size_t>& order, uint32_t flags, Compare compare)
{
    // A merge sort of our own: script comparators may be inconsistent, and
    // the merge never reads outside its runs whatever they answer.
    bool duplicate = false;
    auto before = [&](size_t x, size_t y) {
        int c = compare(x, y);
        if (c == 0) {
            duplicate = true;
        }
        return (flags & Descending) ? c > 0 : c < 0;
    };
    std::vector<size_t> buffer(order.size());
    for (size_t width = 1; width < order.size(); width *= 2) {
        for (size_t left = 0; left < order.size(); left += 2 * width) {
            size_t mid = std::min(left + width, order.size());
            size_t right = std::min(left + 2 * width, order.size());
            size_t i = left;
            size_t j = mid;
            size_t k = left;
            while (i < mid && j < right) {
                buffer[k++] = before(order[j], order[i]) ? order[j++] : order[i++];
            }
            while (i < mid) {
                buffer[k++] = order[i++];
            }
            while (j < right) {
                buffer[k++] = order[j++];
            }
        }
        order.swap(buffer);
    }
    return !(duplicate && (flags & UniqueSort));
}

Value finishSort(Vm& vm, ArrayObject* array, const std::vector<size_t>& order, uint32_t flags)
{
    if (flags & ReturnIndexedArray) {
        ArrayObject* indices = vm.newArray();
        for (size_t i : order) {
            indices->elements.push_back(Value(double(i)));
        }
        return Value(indices);
    }
    std::vector<Value> sorted;
    sorted.reserve(order.size());
    for (size_t i : order) {
        sorted.push_back(array->elements[i]);
    }
    array->elements = std::move(sorted);
    return Value(array);
}

Value arraySort(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array) {
        return {};
    }
    Value compareFunction;
    uint32_t flags = 0;
    size_t next = 0;
    if (!args.empty() && args[0].isObject()) {
        compareFunction = args[0];
        next = 1;
    } else if (!args.empty() && !args[0].isNumber()) {
        return {}; // neither a comparison function nor flags
    }
    if (args.size() > next) {
        flags = toUint32(vm.toNumber(args[next]));
    }
    std::vector<Value> elements = array->elements;
    std::vector<size_t> order(elements.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    bool ok = sortIndices(order, flags, [&](size_t x, size_t y) {
        if (compareFunction.isObject()) {
            if (vm.pending() != Pending::None) {
                return 0;
            }
            Value pair[] = {elements[x], elements[y]};
            double c = vm.toNumber(vm.call(compareFunction, nullptr, pair));
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        return compareValues(vm, elements[x], elements[y], flags);
    });
    if (!ok) {
        return Value(0.0);
    }
    return finishSort(vm, array, order, flags);
}

Value arraySortOn(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    ArrayObject* array = asArray(self);
    if (!array || args.empty()) {
        return Value(self);
    }
    std::vector<Str> fields;
    std::vector<uint32_t> fieldFlags;
    ArrayObject* fieldList = asArray(args[0].object());
    if (fieldList) {
        for (const auto& f : fieldList->elements) {
            fields.push_back(vm.keyOf(f));
        }
    } else {
        fields.push_back(vm.keyOf(args[0]));
    }
    ArrayObject* flagList = asArray(arg(args, 1).object());
    uint32_t common = flagList ? 0 : toUint32(vm.toNumber(arg(args, 1)));
    for (size_t i = 0; i < fields.size(); ++i) {
        fieldFlags.push_back(flagList && i < flagList->elements.size()
                                 ? toUint32(vm.toNumber(flagList->elements[i]))
                                 : common);
    }
    std::vector<Value> elements = array->elements;
    std::vector<size_t> order(elements.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    bool ok =
        sortIndices(order, common & (UniqueSort | ReturnIndexedArray), [&](size_t x, size_t y) {
            for (size_t f = 0; f < fields.size(); ++f) {
                Value a = vm.getMember(elements[x], Value(fields[f]));
                Value b = vm.getMember(elements[y], Value(fields[f]));
                int c = compareValues(vm, a, b, fieldFlags[f]);
                if (c != 0) {
                    return (fieldFlags[f] & Descending) ? -c : c;
                }
            }
            return 0;
        });
    if (!ok) {
        return Value(0.0);
    }
    return finishSort(vm, array, order, common);
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
