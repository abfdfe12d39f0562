// Shared by the Array methods: element access that works on arrays and on
// array-like objects alike, and the sorting entry points.
#pragma once

#include "vm_p.h"

namespace zf::avm1 {

// Reads and writes `self`'s elements the way the Array methods do: real
// arrays through their storage (the dense run directly), any other object
// through its `length` and index-named properties.
class ElementAccess {
public:
    ElementAccess(Vm& vm, Object* self);

    int32_t length();
    Value get(int64_t index);
    void set(int64_t index, Value value);
    void remove(int64_t index);
    void setLength(double length);
    // Elements from..to-1 (holes read as undefined), at most MaxRewrite.
    std::vector<Value> read(int64_t from, int64_t to);
    // Replaces the elements as the reordering methods do: the old ones
    // 0..oldLength-1 are deleted, `values` stored from 0 in index order,
    // then the length set.
    void rewrite(int32_t oldLength, std::vector<Value> values, double newLength);

    // Elements one reordering call handles; beyond it a sparse array's
    // claimed length is not walked index by index.
    static constexpr int64_t MaxRewrite = 1 << 20;

    // Whether the array is too long to rewrite index by index: then only
    // its stored elements move (see reindex).
    bool sparse(int64_t length) const { return m_array && length > MaxRewrite; }
    // Moves the stored elements below oldLength to moveTo(index) (dropped
    // when negative), adds `added`, and sets the length: the reordering
    // methods on a long sparse array, without walking its gaps.
    template <class MoveTo>
    void reindex(int64_t oldLength, MoveTo moveTo, std::vector<std::pair<int64_t, Value>> added,
                 double newLength)
    {
        m_array->spill(m_vm);
        for (const Property& property : m_array->properties().list()) {
            int64_t index = arrayIndex(property.name.view());
            if (index >= 0 && index < oldLength && !property.isAccessor()) {
                if (int64_t to = moveTo(index, property.value); to >= 0) {
                    added.emplace_back(to, property.value);
                }
            }
        }
        storeSparse(oldLength, std::move(added), newLength);
    }

private:
    void storeSparse(int64_t oldLength, std::vector<std::pair<int64_t, Value>> elements,
                     double newLength);

    Vm& m_vm;
    Object* m_self;
    ArrayObject* m_array;
};

Value arraySort(Vm& vm, Object* self, std::span<const Value> args, const Value&);
Value arraySortOn(Vm& vm, Object* self, std::span<const Value> args, const Value&);

} // namespace zf::avm1
