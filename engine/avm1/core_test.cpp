// Core semantics: conversion order and hints, string methods at their
// edges, super constructors, the limits on runaway callbacks, and (on a
// real stage) target paths, scopes and `this`.
#include "test_runner_p.h"
#include "test_stage_p.h"

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

// --- paths, scopes and `this`, on a stage ----------------------------------------

using swf::ActionCode;
using zf::test::Actions;
using zf::test::SwfBuilder;

using Stage = test::StagePlayer;
using test::traceVariable;

Actions& callFunction(Actions& a, const std::string& name,
                      std::initializer_list<zf::test::PushArg> args)
{
    for (auto it = std::rbegin(args); it != std::rend(args); ++it) {
        a.push({*it});
    }
    return a.push({int(args.size()), name}).op(ActionCode::CallFunction).op(ActionCode::Pop);
}

// A root with a clip "a" that holds a clip "child" and a variable "variable".
SwfBuilder clipTree(int version, const Actions& rootCode)
{
    SwfBuilder leaf(version);
    leaf.showFrame();
    SwfBuilder middle(version);
    middle.placeObject(test::placement(1, 1, "child"));
    middle.doAction(Actions().push({"variable", "value"}).op(ActionCode::SetVariable));
    middle.showFrame();
    SwfBuilder builder(version);
    builder.defineSprite(1, leaf).defineSprite(2, middle);
    builder.placeObject(test::placement(1, 2, "a")).doAction(rootCode).showFrame();
    return builder;
}

TEST(Avm1Paths, DotPathsTryEachScopeInTurn)
{
    // _global.a = {b: {c: "global"}}; a = {b: {}} on the timeline.
    Actions a;
    a.push({"_global"}).op(ActionCode::GetVariable);
    a.push({"a", "b", "c", "global", 1}).op(ActionCode::InitObject);
    a.push({1}).op(ActionCode::InitObject).op(ActionCode::SetMember);
    a.push({"a", "b", 0}).op(ActionCode::InitObject).push({1}).op(ActionCode::InitObject);
    a.op(ActionCode::SetVariable);
    // Reading needs the last name to exist; writing takes the first scope
    // where the path up to it leads to an object.
    traceVariable(a, "a.b.c");
    a.push({"a.b.c", "timeline"}).op(ActionCode::SetVariable);
    traceVariable(a, "a.b.c");
    traceVariable(a, "_global.a.b.c");
    // A path through a plain object, in slash syntax.
    a.push({"/a/b:d", "slash"}).op(ActionCode::SetVariable);
    traceVariable(a, "_root.a.b.d");
    Stage stage(clipTree(8, a));
    EXPECT_EQ(stage.run(1), "global\ntimeline\nglobal\nslash\n");
}

TEST(Avm1Paths, CallsByNameRunOnTheObjectThatHeldTheFunction)
{
    Actions a;
    a.push({"name", "timeline"}).op(ActionCode::SetVariable);
    a.push({"o", "name", "o", 1}).op(ActionCode::InitObject).op(ActionCode::SetVariable);
    a.push({"o"}).op(ActionCode::GetVariable).push({"f"});
    a.defineFunction("", {},
                     Actions()
                         .push({"this"})
                         .op(ActionCode::GetVariable)
                         .push({"name"})
                         .op(ActionCode::GetMember)
                         .op(ActionCode::Trace));
    a.op(ActionCode::SetMember);
    a.push({"f", "o.f"}).op(ActionCode::GetVariable).op(ActionCode::SetVariable);
    // Found on a with-object, on the timeline, at the end of a path, and
    // among the locals of the calling function.
    Actions inWith;
    callFunction(inWith, "f", {});
    a.push({"o"}).op(ActionCode::GetVariable).with(inWith);
    callFunction(a, "f", {});
    callFunction(a, "o.f", {});
    Actions outer;
    outer.push({"name", "local"}).op(ActionCode::DefineLocal);
    outer.push({"g", "f"}).op(ActionCode::GetVariable).op(ActionCode::DefineLocal);
    callFunction(outer, "g", {});
    a.defineFunction("outer", {}, outer);
    callFunction(a, "outer", {});
    Stage stage(clipTree(8, a));
    EXPECT_EQ(stage.run(1), "o\ntimeline\no\nlocal\n");
}

TEST(Avm1Paths, DeclarationsWithPathsAndHiddenPathWords)
{
    Actions a;
    // Outside functions `var /:v` assigns through the path; inside, the
    // whole text names a local.
    a.push({"/:v", "root"}).op(ActionCode::DefineLocal);
    traceVariable(a, "_root.v");
    a.push({"_root.w"}).op(ActionCode::DefineLocal2);
    a.push({"w", 1, "_root"}).op(ActionCode::GetVariable).push({"hasOwnProperty"});
    a.op(ActionCode::CallMethod).op(ActionCode::Trace);
    Actions inner;
    inner.push({"/:v", "local"}).op(ActionCode::DefineLocal);
    traceVariable(inner, "/:v");
    a.defineFunction("f", {}, inner);
    callFunction(a, "f", {});
    // A timeline variable named _root hides the root, but not from a
    // preloaded register.
    a.push({"_root", "fake"}).op(ActionCode::SetVariable);
    traceVariable(a, "_root");
    a.defineFunction2("g", 2, 0x0040 | 0x0002 | 0x0008 | 0x0020, {},
                      Actions().push({zf::test::Register{1}}).op(ActionCode::Trace));
    callFunction(a, "g", {});
    Stage stage(clipTree(6, a));
    EXPECT_EQ(stage.run(1), "root\ntrue\nroot\nfake\n_level0\n");
}

TEST(Avm1Targets, ClipReferencesGoByPathAndInvalidTargetsReachTheRoot)
{
    SwfBuilder empty(6);
    empty.showFrame();
    SwfBuilder builder(6);
    builder.defineSprite(1, empty);
    Actions a;
    // Two clips named "c": a reference to the second finds the first.
    for (auto [depth, label] : {std::pair{1, "first"}, {2, "second"}}) {
        a.push({"ref", depth, "c", 2, "_root"}).op(ActionCode::GetVariable);
        a.push({"createEmptyMovieClip"}).op(ActionCode::CallMethod).op(ActionCode::SetVariable);
        a.push({"ref"}).op(ActionCode::GetVariable).push({"x", label}).op(ActionCode::SetMember);
    }
    a.push({"ref"}).op(ActionCode::GetVariable).op(ActionCode::SetTarget2);
    traceVariable(a, "x");
    // An object converts with toString.
    a.setTarget("");
    a.push({"o", "toString"});
    a.defineFunction("", {}, Actions().push({"c"}).op(ActionCode::Return));
    a.push({1}).op(ActionCode::InitObject).op(ActionCode::SetVariable);
    a.push({"o"}).op(ActionCode::GetVariable).op(ActionCode::SetTarget2);
    traceVariable(a, "x");
    // No such clip: no target for properties, the root for the timeline.
    a.setTarget("nowhere");
    a.push({"", 11}).op(ActionCode::GetProperty).op(ActionCode::Trace);
    a.gotoFrame(2).op(ActionCode::Stop);
    a.setTarget("");
    builder.doAction(a).showFrame();
    builder.doAction(Actions().trace("frame 2")).showFrame();
    builder.doAction(Actions().trace("frame 3")).showFrame();
    Stage stage(builder);
    EXPECT_EQ(stage.run(3), "first\nfirst\nundefined\nframe 3\n");
}

TEST(Avm1Paths, Version4PathsAreSlashOnly)
{
    struct Case {
        const char* path;
        const char* target; // _name of the clip as a target, or undefined
        const char* value;  // the path read as a variable
    } cases[] = {
        {"/", "", "undefined"},
        {"//", "undefined", "undefined"},
        {"a/", "a", "undefined"},
        {"a/..", "", "undefined"},
        {"a/..:", "undefined", "undefined"},
        {"../a", "undefined", "undefined"},
        {"a/child", "child", "undefined"},
        {"a.child", "undefined", "undefined"},
        {"_root", "undefined", "undefined"},
        {"_flash0/a", "a", "undefined"},
        {"_level0:a/child", "undefined", "undefined"},
        {"_level0.a:child", "", "undefined"},
        {"a:variable", "undefined", "value"},
        {"_level0/:root_var", "undefined", "5"},
        {":root_var", "undefined", "undefined"},
        {"/.root_var", "undefined", "undefined"},
    };
    for (const auto& c : cases) {
        Actions a;
        a.push({"root_var", 5}).op(ActionCode::SetVariable);
        a.push({c.path, 13}).op(ActionCode::GetProperty).op(ActionCode::Trace);
        traceVariable(a, c.path);
        // The same path as a target: invalid ones leave no target.
        a.setTarget(c.path).push({"", 13}).op(ActionCode::GetProperty).op(ActionCode::Trace);
        Stage stage(clipTree(4, a));
        EXPECT_EQ(stage.run(1), std::string(c.target) + "\n" + c.value + "\n" + c.target + "\n")
            << c.path;
    }
}

TEST(Avm1Paths, AFunctionWhoseClipLeftTheStageReadsTheRoot)
{
    SwfBuilder self(8);
    Actions own;
    own.push({"timer", 10}).op(ActionCode::SetVariable);
    own.push({"_root"}).op(ActionCode::GetVariable).push({"f"});
    own.defineFunction("", {},
                       Actions().push({"timer"}).op(ActionCode::GetVariable).op(ActionCode::Trace));
    own.op(ActionCode::SetMember);
    self.doAction(own).showFrame();
    SwfBuilder builder(8);
    builder.defineSprite(1, self).exportAssets({{1, "m"}});
    Actions first;
    first.push({"timer", 5}).op(ActionCode::SetVariable);
    first.push({1, "m", "m", 3, "_root"}).op(ActionCode::GetVariable).push({"attachMovie"});
    first.op(ActionCode::CallMethod).op(ActionCode::Pop);
    builder.doAction(first).showFrame();
    Actions later;
    callFunction(later, "f", {});
    later.push({"m"}).op(ActionCode::RemoveSprite);
    callFunction(later, "f", {});
    later.op(ActionCode::Stop);
    builder.doAction(later).showFrame();
    Stage stage(builder);
    EXPECT_EQ(stage.run(2), "10\n5\n");
}

} // namespace
} // namespace zf::avm1
