// The object model: property maps with attributes and accessors, the object
// kinds the interpreter knows (plain, function, array, boxed primitives) and
// the heap whose tracing collector owns every object.
#pragma once

#include "value_p.h"

#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace zf::avm1 {

class Vm;
class Object;

enum PropertyFlag : uint8_t {
    DontEnum = 1,
    DontDelete = 2,
    ReadOnly = 4,
};

struct Property {
    Str name; // interned
    Value value;
    Object* getter = nullptr;
    Object* setter = nullptr;
    uint8_t flags = 0;
    // Version-gated visibility: the ASSetPropFlags bits above the first
    // three, kept as given so later calls can set and clear them.
    uint16_t versionBits = 0;
    bool isAccessor() const { return getter || setter; }
    bool visibleIn(int version) const
    {
        return versionBits == 0 || versionVisible(versionBits, version);
    }
    // Whether a property with these version bits exists for a movie of
    // this version: 0x80 needs 6, 0x100 hides from 6 alone, 0x400 needs 7,
    // 0x1000 needs 8, 0x2000 needs 9, 0x4000 needs 10.
    static bool versionVisible(uint16_t bits, int version)
    {
        return !((bits & 0x80 && version < 6) || (bits & 0x100 && version == 6) ||
                 (bits & 0x400 && version < 7) || (bits & 0x1000 && version < 8) ||
                 (bits & 0x2000 && version < 9) || (bits & 0x4000 && version < 10));
    }
};

// Properties in insertion order; a hash index joins in once the map grows.
// Keys are interned; `fold` selects case-insensitive matching.
class PropertyMap {
public:
    Property* find(const Str& key, bool fold);
    const Property* find(const Str& key, bool fold) const
    {
        return const_cast<PropertyMap*>(this)->find(key, fold);
    }
    // Adds a property that find() reported missing.
    Property& add(const Str& key, Value value, bool fold, uint8_t flags = 0);
    bool remove(const Str& key, bool fold);
    // Removes every property `drop` selects in one pass (a shrinking array
    // may lose many at once).
    template <class Pred>
    size_t removeIf(Pred drop)
    {
        size_t before = m_list.size();
        std::erase_if(m_list, drop);
        if (m_list.size() != before && !m_index.empty()) {
            m_index.clear();
            if (m_list.size() > IndexThresholdSize) {
                rebuildIndex(m_indexFolded);
            }
        }
        return before - m_list.size();
    }
    // Inserts properties missing from the map at `position` in the order.
    void insertAt(size_t position, std::vector<Property> block, bool fold);
    std::vector<Property>& list() { return m_list; }
    const std::vector<Property>& list() const { return m_list; }
    size_t size() const { return m_list.size(); }

private:
    static StrRep* indexKey(const Str& key, bool fold)
    {
        return fold ? key.rep()->folded : key.rep();
    }
    void rebuildIndex(bool fold);
    static constexpr size_t IndexThresholdSize = 12;

    std::vector<Property> m_list;
    std::unordered_map<StrRep*, uint32_t> m_index;
    bool m_indexFolded = false; // the matching the index was built for
};

enum class Kind : uint8_t {
    Plain,
    Function,
    Array,
    Boolean,
    Number,
    String,
    Date,
    Activation,
    Clip,
    Native, // built-in classes with host data (XML nodes, shared objects, ...)
};

class Object {
public:
    explicit Object(Object* proto, Kind kind = Kind::Plain) : m_proto(proto), m_kind(kind) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    Kind kind() const { return m_kind; }
    Object* proto() const { return m_proto; }
    void setProto(Object* proto) { m_proto = proto; }
    PropertyMap& properties() { return m_properties; }
    const PropertyMap& properties() const { return m_properties; }

    // The boxed primitive of Number/String/Boolean objects and a Date's time.
    Value& primitive() { return m_primitive; }

    // Interfaces registered with `implements` (for instanceof).
    std::vector<Object*>& interfaces() { return m_interfaces; }

    // Pushes every object this one references (for the collector).
    virtual void traceChildren(std::vector<Object*>& work) const;

    // Own properties computed by the object itself (array length and
    // elements, clip properties and children). Return false when the name is
    // an ordinary property.
    virtual bool getSpecial(Vm&, const Str&, Value&) { return false; }
    virtual bool setSpecial(Vm&, const Str&, const Value&) { return false; }
    // Names of such properties for enumeration, oldest first.
    virtual void specialKeys(Vm&, std::vector<Str>&) {}
    // Deletes such a property; false when the name is an ordinary property
    // (`removed` then tells nothing).
    virtual bool removeSpecial(Vm&, const Str&, bool& /*removed*/) { return false; }

    struct Watcher {
        Str name;
        Value callback;
        Value data;
        bool active = false;
    };
    std::vector<Watcher>& watchers() { return m_watchers; }

    bool marked = false;

protected:
    std::vector<Watcher> m_watchers;
    Object* m_proto;
    Kind m_kind;
    PropertyMap m_properties;
    Value m_primitive;
    std::vector<Object*> m_interfaces;
};

using NativeFn = Value (*)(Vm& vm, Object* self, std::span<const Value> args, const Value& data);

// A function body inside an action block.
struct FunctionCode {
    std::shared_ptr<const std::vector<uint8_t>> bytes;
    size_t start = 0;
    size_t end = 0;
    Str name;
    struct Param {
        uint8_t reg = 0;
        Str name;
    };
    std::vector<Param> params;
    uint8_t registerCount = 0;
    uint16_t flags = 0;
    bool isFunction2 = false;
    int version = 0;
    // The constant pool when the function was defined: the body's constant
    // references mean that pool wherever it is called from.
    std::shared_ptr<const std::vector<Str>> constants;
};

class FunctionObject : public Object {
public:
    FunctionObject(Object* proto) : Object(proto, Kind::Function) {}

    NativeFn native = nullptr;
    // When set, `new` calls this instead of allocating an object and calling native.
    NativeFn constructNative = nullptr;
    Value data; // extra argument for native functions
    std::shared_ptr<const FunctionCode> code;
    std::vector<Object*> scopes; // captured scope chain, outermost first
    Object* target = nullptr;    // the timeline the function was defined on

    void traceChildren(std::vector<Object*>& work) const override;
};

// Largest array a script may create (elements stored, not length).
constexpr size_t MaxArrayLength = 1u << 24;

// An array. `length` is a signed 32-bit whole number of its own; elements
// are properties named by their decimal index, with every property feature
// (flags, watchers, deletion, enumeration order). While the elements are an
// unbroken run 0..n-1 of plain values added in index order they live in a
// vector (the common case, and the fast one); the first change that run
// cannot express moves them into the property map for good ("spilling").
class ArrayObject : public Object {
public:
    explicit ArrayObject(Object* proto) : Object(proto, Kind::Array) {}

    int32_t length() const { return m_length; }
    // Sets the length as an assignment does: a whole number modulo 2^32;
    // shrinking deletes the elements from the new length to the old.
    void setLength(Vm& vm, double length);
    // Appends an element at `length` (arrays the engine builds).
    void push(Vm& vm, Value value);
    // Replaces every element with `values` (lists the engine keeps in step,
    // such as child nodes); other properties stay.
    void assign(std::vector<Value> values);
    // The element at `index` when the vector holds it, else null.
    const Value* denseAt(double index) const
    {
        if (index >= 0 && index < double(m_dense.size())) {
            size_t i = static_cast<size_t>(index);
            if (double(i) == index) {
                return &m_dense[i];
            }
        }
        return nullptr;
    }
    // Stores into the vector when that keeps the run valid (and grows the
    // length); false when the ordinary assignment path must do it.
    bool trySetDense(double index, Value& value);
    bool spilled() const { return m_spilled; }
    // Deletes the elements from..to-1 that may be deleted; the length stays.
    void removeElements(Vm& vm, int64_t from, int64_t to);
    // Moves the run into the property map, in its place in the order.
    void spill(Vm& vm);
    // Elements 0..length-1 (at most `cap`), holes read as undefined.
    std::vector<Value> values(Vm& vm, size_t cap = MaxArrayLength);

    void traceChildren(std::vector<Object*>& work) const override;
    bool getSpecial(Vm& vm, const Str& key, Value& out) override;
    bool setSpecial(Vm& vm, const Str& key, const Value& value) override;
    void specialKeys(Vm& vm, std::vector<Str>& keys) override;
    bool removeSpecial(Vm& vm, const Str& key, bool& removed) override;

    // Largest run kept in the vector; anything beyond is stored sparsely.
    static constexpr size_t MaxDense = MaxArrayLength;

private:
    // Sets the length to a 32-bit value, deleting what falls off the end.
    void setLengthRaw(Vm& vm, int32_t length);
    bool canAppend();

    std::vector<Value> m_dense;
    int32_t m_length = 0;
    // How many map entries were there before the run's first element: the
    // run sits at that place in the insertion order.
    size_t m_anchor = 0;
    bool m_spilled = false;
};

// `super`: methods come from `base`, calls run with `self` as this.
class SuperObject : public Object {
public:
    SuperObject(Object* self, Object* base) : Object(base, Kind::Plain), self(self), base(base) {}
    Object* self;
    Object* base;
    void traceChildren(std::vector<Object*>& work) const override
    {
        Object::traceChildren(work);
        if (self) {
            work.push_back(self);
        }
    }
};

// Owns every script object; collect() frees what the roots no longer reach.
class Heap {
public:
    template <class T, class... Args>
    T* make(Args&&... args)
    {
        auto object = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = object.get();
        m_objects.push_back(std::move(object));
        ++m_allocatedSinceCollect;
        return raw;
    }
    // Marks from the given roots and frees everything else.
    void collect(std::vector<Object*> roots);
    size_t size() const { return m_objects.size(); }
    size_t allocatedSinceCollect() const { return m_allocatedSinceCollect; }

private:
    std::vector<std::unique_ptr<Object>> m_objects;
    size_t m_allocatedSinceCollect = 0;
};

// The array index a property name stands for in its canonical spelling
// ("0", "17"; below 2^31 - 1), or -1.
int64_t arrayIndex(std::string_view name);
// The index a name means for an array's length: an optionally signed run of
// digits read modulo 2^32, the way the player reads it ("4294967296" is 0).
bool lengthIndex(std::string_view name, int32_t& index);
// The decimal name of an element index.
Str indexName(Vm& vm, int64_t index);

} // namespace zf::avm1
