// Core semantics: conversion order and hints, string methods at their
// edges, super constructors, and the limits on runaway callbacks.
#include "test_runner_p.h"

#include <gtest/gtest.h>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::run;
using Code = swf::ActionCode;

// receiver.method(args...), traced.
Asm callTrace(Item receiver, const std::string& method, std::vector<Item> args)
{
    Asm a;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    a.push({int(args.size()), receiver, method}).op(Code::CallMethod).op(Code::Trace);
    return a;
}

// An object whose valueOf traces `name` and returns itself or `result`.
Asm noisyObject(const std::string& var, const std::string& name, bool returnsSelf)
{
    Asm body;
    body.trace(name);
    if (returnsSelf) {
        body.push({"this"}).op(Code::GetVariable).op(Code::Return);
    } else {
        body.push({2}).op(Code::Return);
    }
    Asm a;
    a.push({var, "valueOf"}).function("", {}, body).push({1}).op(Code::InitObject);
    a.op(Code::SetVariable);
    return a;
}

TEST(Avm1Core, OperandConversionOrderAndHints)
{
    // Add converts the left operand first, Equals the right one first.
    for (auto [code, expected] :
         {std::pair{Code::Add, "A\nB\n4\n"}, {Code::Equals, "B\nA\ntrue\n"}}) {
        Asm a = noisyObject("a", "A", false);
        a.append(noisyObject("b", "B", false));
        a.push({"a"}).op(Code::GetVariable).push({"b"}).op(Code::GetVariable).op(code);
        a.op(Code::Trace);
        EXPECT_EQ(run(7, std::move(a)), expected);
    }
    // Add2: a valueOf giving an object makes NaN, unless the other side
    // is a string, which converts the original with toString.
    Asm a = noisyObject("o", "V", true);
    a.push({"o"}).op(Code::GetVariable).push({"o"}).op(Code::GetVariable).op(Code::Add2);
    a.op(Code::Trace);
    a.push({"o"}).op(Code::GetVariable).push({"!"}).op(Code::Add2).op(Code::Trace);
    EXPECT_EQ(run(7, std::move(a)), "V\nV\nNaN\nV\n[object Object]!\n");
}

TEST(Avm1Core, NumericStringsWrapAndOctal)
{
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"0x1999999981ffffff", "-2113929217"},
        {"037777777777", "-1"},
        {"-037777777777", "1"},
        {" 010", "10"},
        {"-010", "-8"},
    };
    for (const auto& c : cases) {
        Asm a;
        a.push({c.text}).op(Code::ToNumber).op(Code::Trace);
        EXPECT_EQ(run(7, std::move(a)), std::string(c.expected) + "\n") << c.text;
    }
}

TEST(Avm1Core, StringMethodEdges)
{
    struct Case {
        int version;
        Asm code;
        const char* expected;
    } cases[] = {
        {7, callTrace("hello world", "substr", {0, -1}), "hello worl\n"},
        {7, callTrace("hello world", "substr", {4, -4}), "\n"},
        {7, callTrace("Hello", "charAt", {4294967297.0}), "e\n"},
        {7, callTrace("abc", "indexOf", {"", 10}), "-1\n"},
        {7, callTrace("abc", "slice", {}), "undefined\n"},
        {5, callTrace("a,b,c", "split", {}), "a,b,c\n"},
        {5, callTrace("abc", "split", {""}), "abc\n"},
        {5, callTrace("foo", "charCodeAt", {9}), "0\n"},
        {7, callTrace("foo", "charCodeAt", {9}), "NaN\n"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(run(c.version, std::move(c.code)), c.expected);
    }
}

// `new String` owns a hidden length that scripts may overwrite but not delete.
TEST(Avm1Core, StringObjectsOwnTheirLength)
{
    auto traceLength = [](Asm& a) {
        a.push({"s"}).op(Code::GetVariable).push({"length"}).op(Code::GetMember);
        a.op(Code::Trace);
    };
    Asm a;
    a.push({"s", "blah", 1, "String"}).op(Code::NewObject).op(Code::SetVariable);
    traceLength(a);
    a.push({"s"}).op(Code::GetVariable).push({"length", "hmm"}).op(Code::SetMember);
    traceLength(a);
    a.push({"s"}).op(Code::GetVariable).push({"length"}).op(Code::Delete).op(Code::Trace);
    traceLength(a);
    EXPECT_EQ(run(7, std::move(a)), "4\nhmm\nfalse\nhmm\n");
}

TEST(Avm1Core, CalledByNewAndResolve)
{
    // ASnative(2, 0) tells whether the running function was called by new.
    Asm a;
    a.push({"asnew", 0, 2, 2, "ASnative"}).op(Code::CallFunction).op(Code::SetVariable);
    a.function("f", {}, Asm().push({0, "asnew"}).op(Code::CallFunction).op(Code::Trace));
    a.push({0, "f"}).op(Code::CallFunction).op(Code::Pop);
    a.push({0, "f"}).op(Code::NewObject).op(Code::Pop);
    EXPECT_EQ(run(8, std::move(a)), "false\ntrue\n");

    // Missing members are asked of __resolve; present ones, even undefined, are not.
    Asm b;
    b.push({"o", 0, "Object"}).op(Code::NewObject).op(Code::SetVariable);
    b.push({"o"}).op(Code::GetVariable).push({"__resolve"});
    b.function("", {"n"},
               Asm().push({"n"}).op(Code::GetVariable).push({"!"}).op(Code::Add2).op(Code::Return));
    b.op(Code::SetMember);
    b.push({"o"}).op(Code::GetVariable).push({"u", test::Undefined{}}).op(Code::SetMember);
    for (const char* name : {"foo", "u"}) {
        b.push({"o"}).op(Code::GetVariable).push({name}).op(Code::GetMember).op(Code::Trace);
    }
    EXPECT_EQ(run(7, std::move(b)), "foo!\nundefined\n");
}

// SWF 5 movies carry 8-bit text; valid UTF-8 is kept as it is.
TEST(Avm1Core, Version5StringsFromTheFile)
{
    for (const char* text : {"t\xC5t", "t\xC3\x85t"}) {
        Asm a;
        a.push({text}).op(Code::Trace);
        a.push({text, "length"}).op(Code::GetMember).op(Code::Trace);
        EXPECT_EQ(run(5, std::move(a)), "t\xC3\x85t\n3\n") << text;
    }
}

TEST(Avm1Core, SuperConstructorChain)
{
    // function A() { trace("A") }  function B() { super(); trace("B") }
    // B.prototype = new A();  new B();
    Asm a;
    Asm bodyA;
    bodyA.trace("A");
    Asm bodyB;
    bodyB.push({0, "super"}).op(Code::CallFunction).op(Code::Pop).trace("B");
    a.function("A", {}, bodyA).function("B", {}, bodyB);
    a.push({"B"}).op(Code::GetVariable).push({"prototype", 0, "A"}).op(Code::NewObject);
    a.op(Code::SetMember);
    a.push({"-"}).op(Code::Trace);
    a.push({0, "B"}).op(Code::NewObject).op(Code::Pop);
    EXPECT_EQ(run(8, std::move(a)), "A\n-\nA\nB\n");
}

TEST(Avm1Core, RunawayCallbacksAndLoops)
{
    // A getter reading its own property nests 65 deep, then reads undefined
    // and the script goes on.
    Asm getter;
    getter.trace("g").push({"p"}).op(Code::GetVariable).op(Code::Return);
    Asm a;
    a.function("getter", {}, getter);
    a.push({test::Null{}, "getter"}).op(Code::GetVariable);
    a.push({"p", 3, "addProperty"}).op(Code::CallFunction).op(Code::Pop);
    a.push({"p"}).op(Code::GetVariable).op(Code::Trace).trace("end");
    std::string expected;
    for (int i = 0; i < 65; ++i) {
        expected += "g\n";
    }
    EXPECT_EQ(run(7, std::move(a)), expected + "undefined\nend\n");

    // A prototype chain that loops stops the scripts.
    Asm loop;
    loop.push({"o"}).push({0}).op(Code::InitObject).op(Code::SetVariable);
    loop.push({"o"}).op(Code::GetVariable).push({"__proto__", "o"}).op(Code::GetVariable);
    loop.op(Code::SetMember);
    loop.push({"o"}).op(Code::GetVariable).push({"missing"}).op(Code::GetMember).op(Code::Pop);
    loop.trace("not reached");
    EXPECT_EQ(run(7, std::move(loop)), "");
}

} // namespace
} // namespace zf::avm1
