#include "avm1.h"
#include "test_runner_p.h"
#include "value_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Null;
using test::Pool;
using test::Reg;
using test::run;
using test::Runner;
using test::Undefined;
using Code = swf::ActionCode;

TEST(Avm1Values, NumberToString)
{
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {1.5, "1.5"},
        {-42, "-42"},
        {1e15, "1e+15"},
        {123456789012345, "123456789012345"},
        {1e21, "1e+21"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {1.5e-7, "1.5e-7"},
        {3 / 12.34, "0.243111831442464"},
        {NAN, "NaN"},
        {INFINITY, "Infinity"},
        {-INFINITY, "-Infinity"},
        {-8.64e15, "-8.64e+15"},
        {0.1 + 0.2, "0.3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(numberToString(c.value), c.text) << c.value;
    }
    EXPECT_EQ(numberToRadix(255, 16), "ff");
    EXPECT_EQ(numberToRadix(-5, 2), "-101");
}

TEST(Avm1Values, StringToNumberByVersion)
{
    struct Case {
        const char* text;
        double v4, v5, v6, v7;
    } cases[] = {
        {"150a", 150, NAN, NAN, NAN},
        {"ab", 0, NAN, NAN, NAN},
        {"0x96", 0, NAN, 150, 150},
        {"010", 10, 10, 10, 8},
        {"", 0, NAN, NAN, NAN},
        {"\r10", 10, 10, 10, 10},
        {"  5  ", 5, NAN, NAN, NAN},
        {"Infinity", 0, NAN, NAN, NAN},
        {"123e-1", 12.3, 12.3, 12.3, 12.3},
        {"-2.5", -2.5, -2.5, -2.5, -2.5},
    };
    for (const auto& c : cases) {
        double expected[] = {c.v4, c.v5, c.v6, c.v7};
        for (int version = 4; version <= 7; ++version) {
            double got = stringToNumber(c.text, version);
            double want = expected[version - 4];
            if (std::isnan(want)) {
                EXPECT_TRUE(std::isnan(got)) << c.text << " v" << version;
            } else {
                EXPECT_EQ(got, want) << c.text << " v" << version;
            }
        }
    }
    EXPECT_EQ(toInt32(4294967295.0), -1);
    EXPECT_EQ(toInt32(NAN), 0);
}

// Each case: version, program, expected trace.
struct ProgramCase {
    const char* name;
    int version;
    Asm program;
    const char* expected;
};

Asm binary(test::Item a, test::Item b, Code op)
{
    return Asm().push({a, b}).op(op).op(Code::Trace);
}

TEST(Avm1Operators, VersionDependentResults)
{
    ProgramCase cases[] = {
        {"undefined traces", 6, Asm().push({Undefined{}}).op(Code::Trace), "undefined\n"},
        {"undefined concat v6", 6, binary("a", Undefined{}, Code::Add2), "a\n"},
        {"undefined concat v7", 7, binary("a", Undefined{}, Code::Add2), "aundefined\n"},
        {"add strings numeric v5", 5, binary("ab", "cd", Code::Add), "NaN\n"},
        {"add strings numeric v4", 4, binary("ab", "cd", Code::Add), "0\n"},
        {"divide by zero v4", 4, binary(4, 0, Code::Divide), "#ERROR#\n"},
        {"divide by zero v5", 5, binary(4, 0, Code::Divide), "Infinity\n"},
        {"equals v4 gives numbers", 4, binary(1, 1, Code::Equals), "1\n"},
        {"undefined == 0 v5", 5, binary(Undefined{}, 0, Code::Equals), "true\n"},
        {"undefined == 0 v7", 7, binary(Undefined{}, 0, Code::Equals), "false\n"},
        {"hex equals v7", 7, binary("0x10", "16", Code::Equals), "true\n"},
        {"true == '1'", 6, binary(true, "1", Code::Equals2), "true\n"},
        {"true == 'true'", 6, binary(true, "true", Code::Equals2), "false\n"},
        {"null == undefined", 6, binary(Null{}, Undefined{}, Code::Equals2), "true\n"},
        {"strict 1 === '1'", 6, binary(1, "1", Code::StrictEquals), "false\n"},
        {"less2 NaN", 7, binary(1, "x", Code::Less2), "undefined\n"},
        {"less2 strings", 6, binary("a", "b", Code::Less2), "true\n"},
        {"greater", 6, binary(3, 2, Code::Greater), "true\n"},
        {"add2 concat", 6, binary(1, "2", Code::Add2), "12\n"},
        {"modulo", 6, binary(7, 3, Code::Modulo), "1\n"},
        {"urshift", 6, binary(-1, 28, Code::BitURShift), "15\n"},
        {"toInteger wraps", 6, Asm().push({4294967295.0}).op(Code::ToInteger).op(Code::Trace),
         "-1\n"},
        {"string as bool v6", 6, Asm().push({"abc"}).op(Code::Not).op(Code::Trace), "true\n"},
        {"string as bool v7", 7, Asm().push({"abc"}).op(Code::Not).op(Code::Trace), "false\n"},
        {"typeof", 6, Asm().push({Null{}}).op(Code::TypeOf).op(Code::Trace), "null\n"},
        {"substring v4", 4, Asm().push({"hello", 2, 3}).op(Code::StringExtract).op(Code::Trace),
         "ell\n"},
        {"pop empty stack", 6, Asm().op(Code::Pop).op(Code::Trace), "undefined\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

TEST(Avm1Scope, VariablesPathsAndCaseFolding)
{
    ProgramCase cases[] = {
        {"case-insensitive names v6", 6,
         Asm().setVar("Foo", 1).trace("").push({"foo"}).op(Code::GetVariable).op(Code::Trace),
         "\n1\n"},
        {"case-sensitive names v7", 7,
         Asm().setVar("Foo", 1).push({"foo"}).op(Code::GetVariable).op(Code::Trace), "undefined\n"},
        {"slash path variable", 6,
         Asm().setVar("x", 5).push({"/:x"}).op(Code::GetVariable).op(Code::Trace), "5\n"},
        {"dot path through object", 6,
         Asm()
             .push({"o", 0})
             .op(Code::InitObject)
             .op(Code::SetVariable)
             .push({"o.v", 3})
             .op(Code::SetVariable)
             .push({"_root.o.v"})
             .op(Code::GetVariable)
             .op(Code::Trace),
         "3\n"},
        {"global is not assigned to", 7,
         Asm()
             .push({"_global"})
             .op(Code::GetVariable)
             .push({"g", 1})
             .op(Code::SetMember)
             .setVar("g", 2)
             .push({"_global.g"})
             .op(Code::GetVariable)
             .op(Code::Trace)
             .push({"g"})
             .op(Code::GetVariable)
             .op(Code::Trace),
         "1\n2\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

TEST(Avm1Functions, ClosuresThisAndRegisters)
{
    // function make() { var n = 0; return function() { n++; return n; }; }
    Asm counter;
    counter.push({"n"})
        .op(Code::GetVariable)
        .op(Code::Increment)
        .storeRegister(0)
        .push({"n"})
        .op(Code::StackSwap)
        .op(Code::SetVariable)
        .push({Reg{0}})
        .op(Code::Return);
    Asm make;
    make.push({"n", 0}).op(Code::DefineLocal).function("", {}, counter).op(Code::Return);
    Asm closure;
    closure.function("make", {}, make)
        .push({0, "make"})
        .op(Code::CallFunction)
        .storeRegister(1)
        .op(Code::Pop)
        .push({0, Reg{1}, Undefined{}})
        .op(Code::CallMethod)
        .op(Code::Pop)
        .push({0, Reg{1}, Undefined{}})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({"n"})
        .op(Code::GetVariable)
        .op(Code::Trace);
    EXPECT_EQ(run(6, std::move(closure)), "2\nundefined\n");

    // DefineFunction2 preloads this, arguments and _global into r1..r3;
    // the parameter lives only in register 4.
    Asm body;
    body.push({Reg{1}, "tag"})
        .op(Code::GetMember)
        .op(Code::Trace)
        .push({Reg{2}, "length"})
        .op(Code::GetMember)
        .op(Code::Trace)
        .push({Reg{3}, "Math"})
        .op(Code::GetMember)
        .op(Code::TypeOf)
        .op(Code::Trace)
        .push({Reg{4}})
        .op(Code::Trace)
        .push({"p"})
        .op(Code::GetVariable)
        .op(Code::Trace);
    Asm preload;
    preload.push({"o", "tag", "obj", 1})
        .op(Code::InitObject)
        .op(Code::SetVariable)
        .push({"o"})
        .op(Code::GetVariable)
        .push({"f"})
        .function2("", 5, 0x0001 | 0x0004 | 0x0100, {{4, "p"}}, body)
        .op(Code::SetMember)
        .push({"x", "y", 2, "o"})
        .op(Code::GetVariable)
        .push({"f"})
        .op(Code::CallMethod)
        .op(Code::Pop);
    EXPECT_EQ(run(7, std::move(preload)), "obj\n2\nobject\ny\nundefined\n");
}

TEST(Avm1Functions, TryCatchFinallyAndUncaught)
{
    Asm thrower;
    thrower.push({"boom"}).op(Code::Throw);
    Asm handler;
    handler.push({"e"}).op(Code::GetVariable).op(Code::Trace);
    Asm cleanup;
    cleanup.trace("finally");
    Asm program;
    program.tryCatch(thrower, "e", &handler, &cleanup).trace("after");
    EXPECT_EQ(run(7, std::move(program)), "boom\nfinally\nafter\n");

    // A return inside try still runs finally; the value survives.
    Asm tryReturn;
    tryReturn.push({1}).op(Code::Return);
    Asm function;
    function.tryCatch(tryReturn, "e", nullptr, &cleanup);
    Asm withReturn;
    withReturn.function("f", {}, function).push({0, "f"}).op(Code::CallFunction).op(Code::Trace);
    EXPECT_EQ(run(7, std::move(withReturn)), "finally\n1\n");

    Asm uncaught;
    uncaught.push({"Oh no!"}).op(Code::Throw).trace("not reached");
    EXPECT_EQ(run(7, std::move(uncaught)), "Warning: Uncaught exception, Oh no!\n");
}

// Traces the names an Enumerate/Enumerate2 left on the stack, up to its null.
void traceEnumerated(Asm& a)
{
    a.label("loop")
        .storeRegister(0)
        .push({Null{}})
        .op(Code::Equals2)
        .ifTrue("done")
        .push({Reg{0}})
        .op(Code::Trace)
        .jump("loop")
        .label("done");
}

TEST(Avm1Objects, EnumerationPrototypesAndAccessors)
{
    Asm enumerate;
    enumerate.push({"o", "a", 1, "b", 2, "c", 3, 3})
        .op(Code::InitObject)
        .op(Code::SetVariable)
        .push({"o"})
        .op(Code::Enumerate);
    traceEnumerated(enumerate);
    // Object literals assign their pairs from the top of the stack (c first) and
    // enumeration runs newest first.
    EXPECT_EQ(run(6, std::move(enumerate)), "a\nb\nc\n");

    // ASSetPropFlags hides a name from enumeration; addProperty calls the getter.
    Asm getter;
    getter.push({"got"}).op(Code::Return);
    Asm program;
    program.push({"o", 0})
        .op(Code::InitObject)
        .op(Code::SetVariable)
        .push({"o"})
        .op(Code::GetVariable)
        .push({"x", 1})
        .op(Code::SetMember)
        .push({"o"})
        .op(Code::GetVariable)
        .push({"y", 2})
        .op(Code::SetMember)
        .push({0, 1, "x", "o"})
        .op(Code::GetVariable)
        .push({4, "ASSetPropFlags"})
        .op(Code::CallFunction)
        .op(Code::Pop)
        .push({Null{}})
        .function("", {}, getter)
        .push({"v", 3, "o"})
        .op(Code::GetVariable)
        .push({"addProperty"})
        .op(Code::CallMethod)
        .op(Code::Pop)
        .push({"o"})
        .op(Code::Enumerate)
        .label("loop")
        .storeRegister(0)
        .push({Null{}})
        .op(Code::Equals2)
        .ifTrue("done")
        .push({Reg{0}})
        .op(Code::Trace)
        .jump("loop")
        .label("done")
        .push({"o"})
        .op(Code::GetVariable)
        .push({"v"})
        .op(Code::GetMember)
        .op(Code::Trace);
    EXPECT_EQ(run(7, std::move(program)), "v\ny\ngot\n");
}

TEST(Avm1Builtins, ArraysAndStrings)
{
    // [3, 1, 10, 2].sort() -> 1,10,2,3 ; sort(NUMERIC) -> 1,2,3,10 ; DESCENDING|NUMERIC
    Asm sort;
    sort.push({"a", 2, 10, 1, 3, 4})
        .op(Code::InitArray)
        .op(Code::SetVariable)
        .push({0, "a"})
        .op(Code::GetVariable)
        .push({"sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({16, 1, "a"})
        .op(Code::GetVariable)
        .push({"sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({18, 1, "a"})
        .op(Code::GetVariable)
        .push({"sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({8, 1, "a"})
        .op(Code::GetVariable)
        .push({"sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({"b", "B", "a", "A", 4})
        .op(Code::InitArray)
        .storeRegister(1)
        .op(Code::Pop)
        .push({1, 1, Reg{1}, "sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({5, 1, Reg{1}, "sort"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({4, 1, Reg{1}, "sort"})
        .op(Code::CallMethod)
        .op(Code::Trace);
    // The indexed sort reports positions in the array as the previous sort left it.
    EXPECT_EQ(run(7, std::move(sort)),
              "1,10,2,3\n1,2,3,10\n10,3,2,1\n3,0,2,1\nA,a,B,b\n0\nA,B,a,b\n");

    Asm strings;
    strings.push({",", 1, "a,b,c"})
        .push({"split"})
        .op(Code::CallMethod)
        .push({"length"})
        .op(Code::GetMember)
        .op(Code::Trace)
        .push({-2, 1, "hello"})
        .push({"substr"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({0, "MiXeD"})
        .push({"toUpperCase"})
        .op(Code::CallMethod)
        .op(Code::Trace)
        .push({"hello", "length"})
        .op(Code::GetMember)
        .op(Code::Trace)
        .push({16, 1})
        .push({255, 1, "Number"})
        .op(Code::NewObject)
        .push({"toString"})
        .op(Code::CallMethod)
        .op(Code::Trace);
    EXPECT_EQ(run(7, std::move(strings)), "3\nlo\nMIXED\n5\nff\n");
}

TEST(Avm1Runtime, SharedStackAndPersistentConstantPool)
{
    Runner runner(7);
    Asm first;
    first.pool({"kept"}).push({"left on stack"});
    EXPECT_EQ(runner.run(std::move(first)), "");
    Asm second;
    second.op(Code::Trace).push({Pool{0}}).op(Code::Trace);
    EXPECT_EQ(runner.run(std::move(second)), "left on stack\nkept\n");
    runner.interpreter->endTick();
    Asm third;
    third.op(Code::Trace);
    EXPECT_EQ(runner.run(std::move(third)), "undefined\n");
}

TEST(Avm1Runtime, FsCommandAndLimits)
{
    Asm fscommand;
    std::vector<uint8_t> payload;
    for (const char* s : {"FSCommand:quit", "now"}) {
        payload.insert(payload.end(), s, s + std::strlen(s) + 1);
    }
    fscommand.record(Code::GetURL, payload);
    EXPECT_EQ(run(6, std::move(fscommand)), "fscommand quit now\n");

    // An endless loop is stopped by the action budget, with one warning.
    Runner limited(7, 10'000);
    Asm loop;
    loop.label("top").jump("top");
    std::string out = limited.run(std::move(loop));
    EXPECT_NE(out.find("Warning"), std::string::npos);
    limited.interpreter->endTick();
    Asm next;
    next.trace("runs again next frame");
    EXPECT_EQ(limited.run(std::move(next)), "runs again next frame\n");

    // Unbounded recursion ends at the recursion limit and stops the
    // scripts: the trace after the call never runs.
    Asm recurse;
    recurse.push({0, "f"}).op(Code::CallFunction).op(Code::Return);
    Asm program;
    program.function("f", {}, recurse).push({0, "f"}).op(Code::CallFunction).op(Code::Trace);
    EXPECT_EQ(run(7, std::move(program)), "");
}

TEST(Avm1Runtime, CollectorFreesCycles)
{
    Runner runner(7);
    size_t baseline = runner.interpreter->collectGarbage();
    // 500 pairs of objects that point at each other, none kept.
    Asm program;
    program.push({0})
        .storeRegister(0)
        .op(Code::Pop)
        .label("top")
        .push({0})
        .op(Code::InitObject)
        .storeRegister(1)
        .op(Code::Pop)
        .push({0})
        .op(Code::InitObject)
        .storeRegister(2)
        .op(Code::Pop)
        .push({Reg{1}, "other", Reg{2}})
        .op(Code::SetMember)
        .push({Reg{2}, "other", Reg{1}})
        .op(Code::SetMember)
        .push({Reg{0}})
        .op(Code::Increment)
        .storeRegister(0)
        .push({500})
        .op(Code::Less2)
        .ifTrue("top")
        .push({"kept", 0})
        .op(Code::InitObject)
        .op(Code::SetVariable)
        .push({0})
        .storeRegister(1)
        .storeRegister(2)
        .op(Code::Pop);
    runner.run(std::move(program));
    runner.interpreter->endTick();
    EXPECT_EQ(runner.interpreter->collectGarbage(), baseline + 1);
}

} // namespace
} // namespace zf::avm1

namespace zf::avm1 {
namespace {

// Hostile bytecode: random records (lengths past the block end, jumps
// anywhere, bogus pushes and function sizes) must never crash or hang.
TEST(Avm1Runtime, SurvivesRandomBytecode)
{
    std::mt19937 random(1234);
    const uint8_t interesting[] = {0x96, 0x99, 0x9D, 0x9B, 0x8E, 0x8F, 0x94, 0x88, 0x3D, 0x52,
                                   0x40, 0x42, 0x43, 0x46, 0x55, 0x1C, 0x1D, 0x4E, 0x4F, 0x2A};
    for (int round = 0; round < 300; ++round) {
        Runner runner(round % 2 ? 6 : 8, 20'000);
        std::vector<uint8_t> bytes(random() % 200);
        for (auto& b : bytes) {
            b = random() % 3 == 0 ? interesting[random() % sizeof interesting]
                                  : static_cast<uint8_t>(random());
        }
        EXPECT_TRUE(runner.interpreter->runActions(bytes).ok());
        runner.interpreter->endTick();
    }

    // 3000 nested with-blocks stop at the nesting limit with a warning.
    std::vector<uint8_t> nested;
    for (int level = 0; level < 3000; ++level) {
        size_t rest = size_t(2999 - level) * 14; // push 0, InitObject, With

        std::vector<uint8_t> head = {0x96, 5, 0, 7, 0, 0, 0, 0, 0x43, 0x94, 2, 0};
        head.push_back(uint8_t(rest));
        head.push_back(uint8_t(rest >> 8));
        nested.insert(nested.end(), head.begin(), head.end());
    }
    Runner deep(7);
    EXPECT_TRUE(deep.interpreter->runActions(nested).ok());
    EXPECT_NE(deep.lines.find("Warning"), std::string::npos);
}

// An object literal whose valueOf traces "valueOf" and returns 1.
Asm& pushCountingObject(Asm& program)
{
    Asm body;
    body.push({"valueOf"}).op(Code::Trace).push({1}).op(Code::Return);
    return program.push({"valueOf"})
        .function("", {}, std::move(body))
        .push({1})
        .op(Code::InitObject);
}

TEST(Avm1Operators, EqualityAndOrderingOfSpecialOperands)
{
    Asm plainFirst;
    pushCountingObject(plainFirst.push({0}).op(Code::InitObject)).op(Code::Less2).op(Code::Trace);
    Asm countingFirst;
    pushCountingObject(countingFirst)
        .push({0})
        .op(Code::InitObject)
        .op(Code::Less2)
        .op(Code::Trace);
    Asm countingBoth;
    pushCountingObject(pushCountingObject(countingBoth)).op(Code::Less2).op(Code::Trace);
    auto boxedPair = [] {
        Asm program;
        for (int i = 0; i < 2; ++i) {
            program.push({1, 1, "Number"}).op(Code::NewObject);
        }
        return program.op(Code::Equals2).op(Code::Trace);
    };
    ProgramCase cases[] = {
        {"NaN === NaN", 6, binary(NAN, NAN, Code::StrictEquals), "true\n"},
        {"NaN == NaN", 5, binary(NAN, NAN, Code::Equals2), "true\n"},
        {"NaN == 0", 5, binary(NAN, 0, Code::Equals2), "false\n"},
        {"boxed numbers equal by value v5", 5, boxedPair(), "true\n"},
        {"boxed numbers are distinct v6", 6, boxedPair(), "false\n"},
        {"two plain objects v5", 5,
         Asm()
             .push({0})
             .op(Code::InitObject)
             .push({0})
             .op(Code::InitObject)
             .op(Code::Equals2)
             .op(Code::Trace),
         "false\n"},
        // valueOf giving an object ends the comparison; the other operand
        // is converted only when the first one gave a primitive.
        {"opaque first skips second", 6, std::move(plainFirst), "false\n"},
        {"opaque second", 6, std::move(countingFirst), "valueOf\nfalse\n"},
        {"both converted in order", 6, std::move(countingBoth), "valueOf\nvalueOf\nfalse\n"},
        {"greater with NaN", 6, binary("x", 1, Code::Greater), "undefined\n"},
        {"isFinite without argument", 6,
         Asm().push({0, "isFinite"}).op(Code::CallFunction).op(Code::Trace), "false\n"},
        {"isFinite of a number", 6,
         Asm().push({5, 1, "isFinite"}).op(Code::CallFunction).op(Code::Trace), "true\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

// o = {p: 1}; ASSetPropFlags(o, "p", bits, 0); then traces o.p and
// o.hasOwnProperty("p"), assigns o.p = 2 and traces o.p again.
Asm hideByVersion(int bits)
{
    Asm program;
    program.push({"o", "p", 1, 1}).op(Code::InitObject).op(Code::SetVariable);
    program.push({0, bits, "p", "o"}).op(Code::GetVariable);
    program.push({4, "ASSetPropFlags"}).op(Code::CallFunction).op(Code::Pop);
    program.push({"o"}).op(Code::GetVariable).push({"p"}).op(Code::GetMember).op(Code::Trace);
    program.push({"p", 1, "o"}).op(Code::GetVariable).push({"hasOwnProperty"});
    program.op(Code::CallMethod).op(Code::Trace);
    program.push({"o"}).op(Code::GetVariable).push({"p", 2}).op(Code::SetMember);
    program.push({"o"}).op(Code::GetVariable).push({"p"}).op(Code::GetMember).op(Code::Trace);
    return program;
}

TEST(Avm1Objects, VersionBitsOfSetPropFlags)
{
    struct Case {
        int bits;
        int version;
        bool visible;
    } cases[] = {
        {0x80, 5, false},   {0x80, 6, true},           {0x100, 5, true},  {0x100, 6, false},
        {0x100, 7, true},   {0x400, 6, false},         {0x400, 7, true},  {0x1000, 7, false},
        {0x1000, 8, true},  {0x2000, 8, false},        {0x2000, 9, true}, {0x4000, 9, false},
        {0x4000, 10, true}, {0x80 | 0x1000, 7, false},
    };
    for (const auto& c : cases) {
        // Hidden names stay own properties, and assigning one shows it again.
        std::string expected = std::string(c.visible ? "1" : "undefined") + "\ntrue\n2\n";
        EXPECT_EQ(run(c.version, hideByVersion(c.bits)), expected)
            << "bits " << c.bits << " version " << c.version;
    }
}

TEST(Avm1Builtins, ClassesWithoutBehaviourStillExist)
{
    auto typeOfMember = [](const char* object, const char* member) {
        return Asm()
            .push({object})
            .op(Code::GetVariable)
            .push({member})
            .op(Code::GetMember)
            .op(Code::TypeOf)
            .op(Code::Trace);
    };
    ProgramCase cases[] = {
        {"Function.prototype", 7, typeOfMember("Function", "prototype"), "object\n"},
        {"XML prototype", 7, typeOfMember("XML", "prototype"), "object\n"},
        {"System.capabilities", 7, typeOfMember("System", "capabilities"), "object\n"},
        {"Date", 7, Asm().push({"Date"}).op(Code::GetVariable).op(Code::TypeOf).op(Code::Trace),
         "function\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

// a = []; a[2] = "x"; then `then` runs with a in register 1.
Asm sparseArray(Asm then)
{
    Asm program;
    program.push({0}).op(Code::InitArray).storeRegister(1).op(Code::Pop);
    program.push({Reg{1}, 2, "x"}).op(Code::SetMember);
    program.append(std::move(then));
    return program;
}

Asm hasOwn(int index)
{
    return Asm().push({index, 1, Reg{1}, "hasOwnProperty"}).op(Code::CallMethod).op(Code::Trace);
}

TEST(Avm1Builtins, SparseArrays)
{
    Asm keys;
    keys.push({Reg{1}}).op(Code::Enumerate2);
    traceEnumerated(keys);
    Asm shift = hasOwn(0);
    shift.push({0, Reg{1}, "shift"}).op(Code::CallMethod).op(Code::Pop).append(hasOwn(0));
    Asm remove = hasOwn(2);
    remove.push({Reg{1}, 2}).op(Code::Delete).op(Code::Trace).append(hasOwn(2));
    remove.push({Reg{1}, "length"}).op(Code::GetMember).op(Code::Trace);
    ProgramCase cases[] = {
        // Unassigned slots read as undefined but are not own properties.
        {"holes", 6, sparseArray(hasOwn(0).append(hasOwn(2))), "false\ntrue\n"},
        {"length", 6,
         sparseArray(Asm().push({Reg{1}, "length"}).op(Code::GetMember).op(Code::Trace)), "3\n"},
        {"enumeration skips holes", 6, sparseArray(std::move(keys)), "2\n"},
        {"shift fills holes", 6, sparseArray(std::move(shift)), "false\ntrue\n"},
        {"delete leaves a hole", 6, sparseArray(std::move(remove)), "true\ntrue\nfalse\n3\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

TEST(Avm1Builtins, ParseIntAndParseFloatPrefixes)
{
    auto parse = [](const char* function, test::Item text, std::optional<int> radix = {}) {
        Asm program;
        if (radix) {
            program.push({*radix});
        }
        return program.push({text, radix ? 2 : 1, function}).op(Code::CallFunction).op(Code::Trace);
    };
    ProgramCase cases[] = {
        {"0x then sign", 7, parse("parseInt", "0x-100"), "-256\n"},
        {"0x dropped for any radix", 7, parse("parseInt", "0x100", 36), "1296\n"},
        {"blank keeps 0x as digits", 7, parse("parseInt", " 0x100", 36), "1540944\n"},
        {"sign before 0x, no radix", 7, parse("parseInt", "-0x100"), "NaN\n"},
        {"sign before 0x, radix", 7, parse("parseInt", "+0x123", 34), "1298259\n"},
        {"sign before 0x, x not a digit", 7, parse("parseInt", "+0x123", 33), "NaN\n"},
        {"octal", 7, parse("parseInt", "-0100"), "-64\n"},
        {"blank rules out octal", 7, parse("parseInt", "  077"), "77\n"},
        {"second dot skipped", 7, parse("parseFloat", "1.2345.678"), "1.2345678\n"},
        {"no exponent after second dot", 7, parse("parseFloat", "1.23.4e5"), "1.234\n"},
        {"exponent wraps", 7, parse("parseFloat", "1e4294967297"), "10\n"},
        {"dangling exponent", 7, parse("parseFloat", "10e-"), "10\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

TEST(Avm1Objects, PrototypeLinkHoldsAnyValue)
{
    // o = {}; o.__proto__ = value; trace(o.__proto__); trace(typeof o.__proto__)
    auto assign = [](test::Item value) {
        Asm program;
        program.push({0}).op(Code::InitObject).storeRegister(1).op(Code::Pop);
        program.push({Reg{1}, "__proto__", value}).op(Code::SetMember);
        program.push({Reg{1}, "__proto__"}).op(Code::GetMember).op(Code::Trace);
        program.push({Reg{1}, "__proto__"}).op(Code::GetMember).op(Code::TypeOf).op(Code::Trace);
        return program;
    };
    Asm removed;
    removed.push({0}).op(Code::InitObject).storeRegister(1).op(Code::Pop);
    removed.push({Reg{1}, "__proto__"}).op(Code::Delete).op(Code::Trace);
    removed.push({Reg{1}, "__proto__"}).op(Code::GetMember).op(Code::Trace);
    removed.push({Reg{1}, "toString"}).op(Code::GetMember).op(Code::Trace);
    ProgramCase cases[] = {
        {"number", 7, assign(123), "123\nnumber\n"},
        {"null", 7, assign(Null{}), "null\nnull\n"},
        {"undefined", 7, assign(Undefined{}), "undefined\nundefined\n"},
        {"delete", 7, std::move(removed), "true\nundefined\nundefined\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.program)), c.expected) << c.name;
    }
}

} // namespace
} // namespace zf::avm1
