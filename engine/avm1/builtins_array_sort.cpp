// Array.prototype.sort and sortOn: argument rules, value ordering and a
// merge sort that stays in bounds whatever a script comparator answers.
#include "array_p.h"

#include "string_p.h"

#include <algorithm>
#include <cmath>

namespace zf::avm1 {

namespace {

enum SortFlag : uint32_t {
    CaseInsensitive = 1,
    Descending = 2,
    UniqueSort = 4,
    ReturnIndexedArray = 8,
    Numeric = 16,
};

// Orders two values by the sort flags (Descending aside); -1, 0 or 1.
int compareValues(Vm& vm, const Value& a, const Value& b, uint32_t flags)
{
    if (flags & Numeric && a.isNumber() && b.isNumber()) {
        double x = a.number();
        double y = b.number();
        // NaN sorts after every number.
        if (std::isnan(x) || std::isnan(y)) {
            return std::isnan(x) == std::isnan(y) ? 0 : std::isnan(x) ? 1 : -1;
        }
        return x < y ? -1 : x > y ? 1 : 0;
    }
    std::string x = a.isUndefined() ? "undefined" : vm.toString(a);
    std::string y = b.isUndefined() ? "undefined" : vm.toString(b);
    if (flags & CaseInsensitive) {
        x = foldCase(x);
        y = foldCase(y);
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

// Sorts positions with a comparison that may call script; returns false
// when UniqueSort found equal elements.
template <class Compare>
bool sortIndices(std::vector<size_t>& order, uint32_t flags, Compare compare)
{
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

std::vector<size_t> identity(size_t count)
{
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i) {
        order[i] = i;
    }
    return order;
}

// Stores the sorted order, or with ReturnIndexedArray returns it instead.
Value finishSort(Vm& vm, Object* self, ElementAccess& elements, int32_t length,
                 const std::vector<Value>& values, const std::vector<size_t>& order, uint32_t flags)
{
    if (flags & ReturnIndexedArray) {
        std::vector<Value> indices;
        indices.reserve(order.size());
        for (size_t i : order) {
            indices.push_back(Value(double(i)));
        }
        return Value(vm.newArray(std::move(indices)));
    }
    std::vector<Value> sorted;
    sorted.reserve(order.size());
    for (size_t i : order) {
        sorted.push_back(values[i]);
    }
    elements.rewrite(length, std::move(sorted), double(std::max(length, 0)));
    return Value(self);
}

bool isFunction(const Value& value)
{
    return value.object() && value.object()->kind() == Kind::Function;
}

} // namespace

// sort([compare], [flags]) and sort(flags): a first argument that is
// neither an object nor a number cancels the call; a later number replaces
// the flags; a comparator that cannot be called leaves the order alone.
Value arraySort(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self) {
        return {};
    }
    Value compareFunction;
    uint32_t flags = 0;
    if (!args.empty()) {
        if (args[0].isObject()) {
            compareFunction = args[0];
        } else if (args[0].isNumber()) {
            flags = toUint32(args[0].number());
        } else {
            return {};
        }
        if (args.size() > 1 && args[1].isNumber()) {
            flags = toUint32(args[1].number());
        }
    }
    if (compareFunction.isObject() && !isFunction(compareFunction)) {
        return Value(self);
    }
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    std::vector<Value> values = elements.read(0, length);
    std::vector<size_t> order = identity(values.size());
    bool unique = sortIndices(order, flags, [&](size_t x, size_t y) {
        if (!compareFunction.isObject()) {
            return compareValues(vm, values[x], values[y], flags);
        }
        if (vm.pending() != Pending::None) {
            return 0;
        }
        Value pair[] = {values[x], values[y]};
        double c = vm.toNumber(vm.call(compareFunction, nullptr, pair));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    });
    if (!unique) {
        return Value(0.0);
    }
    return finishSort(vm, self, elements, length, values, order, flags);
}

namespace {

// The fields sortOn orders by and the flags of each: an array of flags
// counts only when it matches the fields one to one, and the options that
// concern the whole call come from the first field's flags.
constexpr int32_t MaxFields = 256;

struct SortFields {
    std::vector<Str> names;
    std::vector<uint32_t> flags;
    uint32_t options = 0;
};

SortFields sortFields(Vm& vm, std::span<const Value> args)
{
    SortFields fields;
    Object* fieldList = args[0].object();
    if (fieldList && fieldList->kind() == Kind::Array) {
        ElementAccess access(vm, fieldList);
        for (const Value& name : access.read(0, std::min(access.length(), MaxFields))) {
            fields.names.push_back(vm.intern(vm.toStr(name)));
        }
    } else {
        fields.names.push_back(vm.keyOf(args[0]));
    }
    const Value& flagArg = args.size() > 1 ? args.back() : arg(args, 1);
    Object* flagList = flagArg.object();
    if (flagList && flagList->kind() == Kind::Array) {
        ElementAccess access(vm, flagList);
        std::vector<Value> list = access.read(0, access.length());
        fields.flags.assign(fields.names.size(), 0);
        if (list.size() == fields.names.size()) {
            for (size_t i = 0; i < list.size(); ++i) {
                fields.flags[i] = toUint32(vm.toNumber(list[i]));
            }
        }
    } else {
        uint32_t common = flagArg.isUndefined() ? 0 : toUint32(vm.toNumber(flagArg));
        fields.flags.assign(fields.names.size(), common);
    }
    if (!fields.flags.empty()) {
        fields.options = fields.flags[0] & (UniqueSort | ReturnIndexedArray);
    }
    return fields;
}

// A field of an element: its own value only, as inherited fields and
// getters read as undefined; a primitive element stands for itself.
Value fieldOf(Vm& vm, const Value& element, const Str& name)
{
    Object* object = element.object();
    if (!object) {
        return element;
    }
    const Property* property = object->properties().find(name, vm.fold());
    if ((property && property->isAccessor()) || !vm.hasOwn(object, name)) {
        return {};
    }
    return vm.get(object, name);
}

} // namespace

Value arraySortOn(Vm& vm, Object* self, std::span<const Value> args, const Value&)
{
    if (!self || args.empty()) {
        return {};
    }
    SortFields fields = sortFields(vm, args);
    ElementAccess elements(vm, self);
    int32_t length = elements.length();
    std::vector<Value> values = elements.read(0, length);
    if (fields.names.empty()) {
        return Value(self);
    }
    // Each element's fields are read once, before any comparison.
    std::vector<std::vector<Value>> keys(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        for (const Str& name : fields.names) {
            keys[i].push_back(fieldOf(vm, values[i], name));
        }
    }
    std::vector<size_t> order = identity(values.size());
    bool unique = sortIndices(order, fields.options, [&](size_t x, size_t y) {
        for (size_t f = 0; f < fields.names.size(); ++f) {
            int c = compareValues(vm, keys[x][f], keys[y][f], fields.flags[f]);
            if (c != 0) {
                return (fields.flags[f] & Descending) ? -c : c;
            }
        }
        return 0;
    });
    if (!unique) {
        return Value(0.0);
    }
    return finishSort(vm, self, elements, length, values, order, fields.options);
}

} // namespace zf::avm1
