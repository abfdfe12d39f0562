// Array storage: the length, the dense run of elements and its move into
// the property map when the run can no longer describe the array.
#include "vm_p.h"

#include <algorithm>
#include <charconv>

namespace zf::avm1 {

namespace {

bool isLengthName(Vm& vm, const Str& key)
{
    const Str& length = vm.names().length;
    return key.rep() == length.rep() || (vm.fold() && key.rep()->folded == length.rep()->folded);
}

Value storable(const Value& value)
{
    return value.isHole() ? Value() : value;
}

} // namespace

int64_t arrayIndex(std::string_view name)
{
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0')) {
        return -1;
    }
    int64_t value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value < 0x7FFFFFFF ? value : -1;
}

bool lengthIndex(std::string_view name, int32_t& index)
{
    size_t i = !name.empty() && name[0] == '-' ? 1 : 0;
    if (i >= name.size()) {
        return false;
    }
    bool negative = i == 1;
    uint32_t value = 0;
    for (; i < name.size(); ++i) {
        char c = name[i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10u + uint32_t(c - '0');
    }
    index = static_cast<int32_t>(negative ? 0u - value : value);
    return true;
}

Str indexName(Vm& vm, int64_t index)
{
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, index);
    (void)ec;
    return vm.intern(std::string_view(buffer, size_t(end - buffer)));
}

void ArrayObject::traceChildren(std::vector<Object*>& work) const
{
    Object::traceChildren(work);
    for (const auto& element : m_dense) {
        if (Object* o = element.object()) {
            work.push_back(o);
        }
    }
}

void ArrayObject::setLength(Vm& vm, double length)
{
    setLengthRaw(vm, toInt32(length));
}

void ArrayObject::setLengthRaw(Vm& vm, int32_t length)
{
    int32_t old = m_length;
    m_length = length;
    removeElements(vm, std::max<int64_t>(length, 0), old);
}

void ArrayObject::removeElements(Vm& vm, int64_t from, int64_t to)
{
    if (from >= to) {
        return;
    }
    if (!m_spilled) {
        if (m_dense.size() > size_t(from)) {
            if (m_dense.size() > size_t(to)) {
                spill(vm); // a gap inside the run
            } else {
                m_dense.resize(size_t(from));
                return;
            }
        } else {
            return;
        }
    }
    // Elements that cannot be deleted survive.
    properties().removeIf([&](const Property& property) {
        int64_t index = arrayIndex(property.name.view());
        return index >= from && index < to && !(property.flags & DontDelete);
    });
}

void ArrayObject::assign(std::vector<Value> values)
{
    if (m_spilled) {
        properties().removeIf(
            [](const Property& property) { return arrayIndex(property.name.view()) >= 0; });
        m_spilled = false;
    }
    if (values.size() > MaxDense) {
        values.resize(MaxDense);
    }
    for (auto& value : values) {
        value = storable(value);
    }
    m_dense = std::move(values);
    m_anchor = properties().size();
    m_length = static_cast<int32_t>(m_dense.size());
}

bool ArrayObject::canAppend()
{
    if (m_dense.size() >= MaxDense) {
        return false;
    }
    if (m_dense.empty()) {
        m_anchor = properties().size();
        return true;
    }
    // A property added after the run's last element sits later in the
    // order; an element appended now would have to follow it.
    return properties().size() == m_anchor;
}

void ArrayObject::push(Vm& vm, Value value)
{
    if (!m_spilled && m_length >= 0 && size_t(m_length) == m_dense.size() && canAppend()) {
        m_dense.push_back(storable(value));
        ++m_length;
        return;
    }
    vm.set(this, indexName(vm, m_length), std::move(value));
}

bool ArrayObject::trySetDense(double index, Value& value)
{
    if (m_spilled || !(index >= 0) || index > double(m_dense.size())) {
        return false;
    }
    size_t i = static_cast<size_t>(index);
    if (double(i) != index) {
        return false;
    }
    if (i < m_dense.size()) {
        m_dense[i] = storable(std::move(value));
        return true;
    }
    if (!canAppend()) {
        return false;
    }
    m_dense.push_back(storable(std::move(value)));
    if (int64_t(i) >= m_length) {
        m_length = static_cast<int32_t>(i + 1);
    }
    return true;
}

void ArrayObject::spill(Vm& vm)
{
    if (m_spilled) {
        return;
    }
    m_spilled = true;
    if (m_dense.empty()) {
        return;
    }
    std::vector<Property> block;
    block.reserve(m_dense.size());
    for (size_t i = 0; i < m_dense.size(); ++i) {
        block.push_back(Property{indexName(vm, int64_t(i)), std::move(m_dense[i])});
    }
    std::vector<Value>().swap(m_dense);
    properties().insertAt(m_anchor, std::move(block), vm.fold());
}

std::vector<Value> ArrayObject::values(Vm& vm, size_t cap)
{
    size_t count = m_length > 0 ? std::min(size_t(m_length), cap) : 0;
    if (!m_spilled) {
        std::vector<Value> out(m_dense.begin(), m_dense.begin() + std::min(count, m_dense.size()));
        out.resize(count);
        return out;
    }
    std::vector<Value> out;
    // A sparse array may be long and nearly empty: grow with what is read.
    for (size_t i = 0; i < count; ++i) {
        out.push_back(vm.get(this, indexName(vm, int64_t(i))));
    }
    return out;
}

bool ArrayObject::getSpecial(Vm& vm, const Str& key, Value& out)
{
    if (isLengthName(vm, key)) {
        out = Value(double(m_length));
        return true;
    }
    if (!m_dense.empty()) {
        int64_t index = arrayIndex(key.view());
        if (index >= 0 && size_t(index) < m_dense.size()) {
            out = m_dense[size_t(index)];
            return true;
        }
    }
    return false;
}

bool ArrayObject::setSpecial(Vm& vm, const Str& key, const Value& value)
{
    if (isLengthName(vm, key)) {
        setLength(vm, vm.toNumber(value));
        return true;
    }
    int32_t index = 0;
    if (!lengthIndex(key.view(), index)) {
        return false;
    }
    if (index >= m_length) {
        setLengthRaw(vm, static_cast<int32_t>(uint32_t(index) + 1u));
    }
    if (m_spilled) {
        return false;
    }
    int64_t slot = arrayIndex(key.view());
    if (slot < 0) {
        return false; // "-5", "007": ordinary names that only move the length
    }
    if (size_t(slot) < m_dense.size()) {
        m_dense[size_t(slot)] = storable(value);
        return true;
    }
    if (size_t(slot) == m_dense.size() && canAppend()) {
        m_dense.push_back(storable(value));
        return true;
    }
    spill(vm);
    return false;
}

void ArrayObject::specialKeys(Vm& vm, std::vector<Str>& keys)
{
    if (m_spilled || m_dense.empty()) {
        return;
    }
    // Keys listed here count as older than every map entry; when some
    // entry is older than the run, only the map can give the true order.
    if (m_anchor != 0) {
        spill(vm);
        return;
    }
    for (size_t i = 0; i < m_dense.size(); ++i) {
        keys.push_back(indexName(vm, int64_t(i)));
    }
}

bool ArrayObject::removeSpecial(Vm& vm, const Str& key, bool& removed)
{
    if (isLengthName(vm, key)) {
        removed = false;
        return true;
    }
    if (m_spilled || m_dense.empty()) {
        return false;
    }
    int64_t index = arrayIndex(key.view());
    if (index >= 0 && size_t(index) < m_dense.size()) {
        if (size_t(index) + 1 == m_dense.size()) {
            // The last element leaves no gap in the run; the length stays.
            m_dense.pop_back();
            removed = true;
            return true;
        }
        spill(vm);
        return false;
    }
    const Property* property = properties().find(key, vm.fold());
    if (property && !(property->flags & DontDelete) &&
        size_t(property - properties().list().data()) < m_anchor) {
        --m_anchor;
    }
    return false;
}

} // namespace zf::avm1
