// Arrays as objects: the 32-bit length and how element names move it,
// enumeration order across the dense and sparse storage, flags and holes,
// huge lengths, and the Array methods on array-like objects.
#include "test_runner_p.h"
#include "vm_p.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::avm1 {
namespace {

struct ArrayTest : ::testing::Test {
    ArrayTest() : vm(makeOptions()) {}
    static Options makeOptions()
    {
        Options options;
        options.swfVersion = 8;
        return options;
    }

    Str name(std::string_view text) { return vm.intern(text); }
    void set(Object* o, std::string_view key, Value value) { vm.set(o, name(key), value); }
    double length(Object* o) { return vm.toNumber(vm.get(o, name("length"))); }
    std::string keys(Object* o)
    {
        std::string out;
        for (const Str& key : vm.enumerate(o)) {
            out += std::string(key.view()) + ",";
        }
        return out;
    }
    std::string join(Object* o) { return vm.toString(call(o, "join", {})); }
    Value call(Object* self, std::string_view method, std::vector<Value> args)
    {
        return vm.call(vm.get(vm.arrayProto(), name(method)), self, args);
    }
    ArrayObject* numbers(std::initializer_list<double> values)
    {
        std::vector<Value> list;
        for (double v : values) {
            list.push_back(Value(v));
        }
        return vm.newArray(std::move(list));
    }

    Vm vm;
};

// Element names set the length as the player reads them: digits modulo
// 2^32 into a signed 32-bit length; a shrinking length drops the elements
// between the new and the old length, and only those.
TEST_F(ArrayTest, ElementNamesMoveTheLengthModulo32Bits)
{
    struct Step {
        const char* key;
        double expectedLength;
    } steps[] = {
        {"1", 2},
        {"3", 4},
        {"-5", 4},
        {"2147483648", 4}, // reads as -2^31: below the length
        {"2147483647", -2147483648.0},
        {"2147483648", -2147483647},
        {"4294967295", 0},
        {"4294967296", 1},
        {"302231454903659441160191", -2147483648.0}, // 2^78 + 2^31 - 1
        {"302231454903657293676544", 1},             // 2^78
    };
    ArrayObject* a = vm.newArray();
    for (const Step& step : steps) {
        set(a, step.key, Value(Str("x")));
        EXPECT_EQ(length(a), step.expectedLength) << step.key;
    }
    // Growing past 2^31 - 1 dropped 1 and 3; names that are not canonical
    // indices were never elements.
    EXPECT_TRUE(vm.get(a, name("1")).isUndefined());
    EXPECT_FALSE(vm.get(a, name("-5")).isUndefined());
    EXPECT_FALSE(vm.get(a, name("2147483647")).isUndefined());
}

TEST_F(ArrayTest, LengthAssignmentTruncatesAndNeverAllocatesForGaps)
{
    ArrayObject* a = numbers({1, 2, 3, 4});
    set(a, "length", Value(2.0));
    EXPECT_EQ(join(a), "1,2");
    set(a, "length", Value(4.0));
    EXPECT_EQ(join(a), "1,2,undefined,undefined");
    EXPECT_EQ(keys(a), "1,0,");
    set(a, "length", Value(-1.0));
    EXPECT_EQ(length(a), -1);
    EXPECT_EQ(keys(a), "");

    for (double huge : {4294967295.0, 1e9, 2147483647.0}) {
        ArrayObject* b = vm.newArray();
        set(b, "length", Value(huge));
        call(b, "push", {Value(7.0)});
        call(b, "pop", {});
        call(b, "shift", {});
        call(b, "unshift", {Value(1.0)});
        call(b, "reverse", {});
        EXPECT_LT(b->properties().size(), 2u << 20) << huge;
    }
}

// Enumeration lists the newest property first, whichever storage holds
// the elements and whatever order they were set in.
TEST_F(ArrayTest, EnumerationIsNewestFirstAcrossStorage)
{
    ArrayObject* dense = numbers({1, 2, 3});
    set(dense, "name", Value(1.0));
    EXPECT_EQ(keys(dense), "name,2,1,0,");
    set(dense, "3", Value(4.0)); // after a named property: moves to the map
    EXPECT_EQ(keys(dense), "3,name,2,1,0,");

    ArrayObject* namedFirst = vm.newArray();
    set(namedFirst, "name", Value(1.0));
    call(namedFirst, "push", {Value(1.0), Value(2.0)});
    EXPECT_EQ(keys(namedFirst), "1,0,name,");

    ArrayObject* outOfOrder = vm.newArray();
    for (const char* key : {"5", "2", "3"}) {
        set(outOfOrder, key, Value(1.0));
    }
    EXPECT_EQ(keys(outOfOrder), "3,2,5,");
    EXPECT_EQ(length(outOfOrder), 6);

    ArrayObject* refilled = numbers({1, 2, 3});
    EXPECT_TRUE(vm.remove(refilled, name("1")));
    EXPECT_FALSE(vm.hasOwn(refilled, name("1")));
    EXPECT_EQ(length(refilled), 3);
    set(refilled, "1", Value(9.0));
    EXPECT_EQ(keys(refilled), "1,2,0,");
    EXPECT_EQ(join(refilled), "1,9,3");
}

// The reordering methods delete every element and add the new ones in
// index order: elements that cannot be deleted keep their place, read-only
// ones their value, and holes come back as undefined elements.
TEST_F(ArrayTest, ShiftRebuildsElementsHonouringFlags)
{
    struct Case {
        const char* index;
        uint8_t flags;
        const char* joined;
        const char* keys;
    } cases[] = {
        {"0", DontEnum, "2,3", "1,0,"},
        {"1", DontDelete, "2,3", "0,1,"},
        {"2", DontDelete, "2,3", "1,0,2,"},
        {"0", DontDelete | DontEnum, "2,3", "1,"},
        {"1", ReadOnly | DontDelete, "2,2", "0,1,"},
        {"0", ReadOnly, "2,3", "1,0,"},
    };
    for (const Case& c : cases) {
        ArrayObject* a = numbers({1, 2, 3});
        a->spill(vm);
        a->properties().find(name(c.index), false)->flags = c.flags;
        EXPECT_EQ(vm.toNumber(call(a, "shift", {})), 1) << c.index << int(c.flags);
        EXPECT_EQ(join(a), c.joined) << c.index << int(c.flags);
        EXPECT_EQ(keys(a), c.keys) << c.index << int(c.flags);
    }

    ArrayObject* holes = vm.newArray();
    set(holes, "4", Value(4.0));
    EXPECT_TRUE(call(holes, "shift", {}).isUndefined());
    EXPECT_EQ(keys(holes), "3,2,1,0,");
}

// The methods work on any object with a length.
TEST_F(ArrayTest, MethodsWorkOnArrayLikeObjects)
{
    Object* o = vm.newObject();
    set(o, "0", Value(Str("a")));
    set(o, "1", Value(Str("b")));
    set(o, "length", Value(2.0));
    EXPECT_EQ(vm.toNumber(call(o, "push", {Value(Str("c"))})), 3);
    EXPECT_EQ(join(o), "a,b,c");
    EXPECT_EQ(vm.toString(call(o, "shift", {})), "a");
    EXPECT_EQ(length(o), 2);
    call(o, "reverse", {});
    EXPECT_EQ(join(o), "c,b");
    Value removed = call(o, "splice", {Value(0.0), Value(1.0), Value(Str("x")), Value(Str("y"))});
    EXPECT_EQ(vm.toString(removed), "c");
    EXPECT_EQ(join(o), "x,y,b");
    call(o, "sort", {});
    EXPECT_EQ(join(o), "b,x,y");
    EXPECT_EQ(vm.toString(call(o, "pop", {})), "y");
    EXPECT_EQ(length(o), 2);
    EXPECT_TRUE(vm.get(o, name("2")).isUndefined());
}

TEST_F(ArrayTest, SpliceAndSortArgumentRules)
{
    struct SpliceCase {
        std::vector<Value> args;
        const char* result; // "(undefined)" when the call is refused
        const char* after;
    } splices[] = {
        {{}, "(undefined)", "a,b,c"},
        {{Value()}, "(undefined)", "a,b,c"},
        {{Value(1.0), Value()}, "(undefined)", "a,b,c"},
        {{Value(1.0), Value(-1.0)}, "(undefined)", "a,b,c"},
        {{Value::null()}, "a,b,c", ""},
        {{Value(-2.0), Value(1.0), Value(Str("x"))}, "b", "a,x,c"},
        {{Value(9.0), Value(0.0), Value(Str("z"))}, "", "a,b,c,z"},
    };
    for (const auto& c : splices) {
        ArrayObject* a = vm.newArray({Value(Str("a")), Value(Str("b")), Value(Str("c"))});
        Value result = call(a, "splice", c.args);
        EXPECT_EQ(result.isUndefined() ? "(undefined)" : vm.toString(result), c.result);
        EXPECT_EQ(join(a), c.after);
    }

    struct SortCase {
        std::vector<Value> args;
        const char* result;
    } sorts[] = {
        {{Value()}, "(undefined)"},
        {{Value(true), Value(0.0)}, "(undefined)"},
        {{Value(NAN)}, "10,2,3"},
        {{Value(16.0)}, "2,3,10"},
        {{Value(2.0), Value(16.0)}, "2,3,10"}, // a later number replaces the flags
        {{Value(18.0), Value()}, "10,3,2"},
        {{Value(vm.newObject())}, "3,10,2"}, // not callable: left alone
        {{Value(4.0), Value()}, "10,2,3"},
    };
    for (const auto& c : sorts) {
        ArrayObject* a = numbers({3, 10, 2});
        Value result = call(a, "sort", c.args);
        EXPECT_EQ(result.isUndefined() ? "(undefined)" : vm.toString(result), c.result);
    }
    ArrayObject* withNaN = numbers({INFINITY, NAN, 4, -INFINITY});
    call(withNaN, "sort", {Value(16.0)});
    EXPECT_EQ(join(withNaN), "-Infinity,4,Infinity,NaN");
    EXPECT_EQ(vm.toNumber(call(numbers({1, 1}), "sort", {Value(4.0)})), 0);
}

TEST_F(ArrayTest, SortOnFlagListsMustMatchTheFields)
{
    auto record = [&](const char* n, double b) {
        Object* o = vm.newObject();
        set(o, "n", Value(Str(n)));
        set(o, "b", Value(b));
        return Value(o);
    };
    auto describe = [&](ArrayObject* a) {
        std::string out;
        for (const Value& v : a->values(vm)) {
            out += vm.toString(vm.get(v.object(), name("n"))) +
                   vm.toString(vm.get(v.object(), name("b"))) + " ";
        }
        return out;
    };
    ArrayObject* fields = vm.newArray({Value(Str("n")), Value(Str("b"))});
    struct Case {
        std::vector<double> flags;
        const char* order;
    } cases[] = {
        {{1, 16}, "bar3 BAR22 foo1 foo2 "},
        {{2}, "BAR22 bar3 foo1 foo2 "},       // wrong count: ignored
        {{2, 0, 0}, "BAR22 bar3 foo1 foo2 "}, // likewise
        {{2, 16}, "foo1 foo2 bar3 BAR22 "},
    };
    for (const auto& c : cases) {
        ArrayObject* a =
            vm.newArray({record("foo", 2), record("bar", 3), record("foo", 1), record("BAR", 22)});
        std::vector<Value> flags;
        for (double f : c.flags) {
            flags.push_back(Value(f));
        }
        call(a, "sortOn", {Value(fields), Value(vm.newArray(flags))});
        EXPECT_EQ(describe(a), c.order);
    }
}

// sortOn reads own fields only and runs no getters: elements whose field
// is inherited or an accessor compare equal and keep their order.
TEST_F(ArrayTest, SortOnFieldsFromPrototypesAndAccessors)
{
    auto withOrder = [&](const char* label, Value order, bool getter) {
        Object* o = vm.newObject();
        set(o, "name", Value(Str(label)));
        Object* proto = vm.newObject();
        if (getter) {
            Property& p = proto->properties().add(name("order"), Value(), false);
            p.getter = vm.newNative(
                [](Vm&, Object*, std::span<const Value>, const Value&) { return Value(1.0); });
        } else {
            set(proto, "order", order);
        }
        set(o, "__proto__", Value(proto));
        return Value(o);
    };
    for (bool getter : {false, true}) {
        ArrayObject* a =
            vm.newArray({withOrder("o2", Value(2.0), getter), withOrder("o1", Value(1.0), getter)});
        call(a, "sortOn", {Value(Str("order")), Value(16.0)});
        std::string names;
        for (const Value& v : a->values(vm)) {
            names += vm.toString(vm.get(v.object(), name("name")));
        }
        EXPECT_EQ(names, "o2o1") << getter;
    }
}

} // namespace
} // namespace zf::avm1
