#include "test_runner_p.h"

#include <gtest/gtest.h>

#include <vector>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::run;
using test::Undefined;
using Code = swf::ActionCode;

// Pushes `new flash.<package>.<cls>(args...)`.
Asm& construct(Asm& a, const char* package, const char* cls, std::vector<Item> args = {})
{
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    a.push({int(args.size()), "flash"}).op(Code::GetVariable);
    a.push({package}).op(Code::GetMember);
    return a.push({cls}).op(Code::NewMethod);
}

// var name = new flash.geom.<cls>(args...)
Asm& define(Asm& a, const char* name, const char* cls, std::vector<Item> args = {})
{
    a.push({name});
    construct(a, "geom", cls, std::move(args));
    return a.op(Code::SetVariable);
}

// Pushes name.method(args...).
Asm& call(Asm& a, const char* name, const char* method, std::vector<Item> args = {})
{
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    a.push({int(args.size()), name}).op(Code::GetVariable);
    return a.push({method}).op(Code::CallMethod);
}

Asm& traceVar(Asm& a, const char* name)
{
    return a.push({name}).op(Code::GetVariable).op(Code::Trace);
}

Asm& traceMember(Asm& a, const char* name, const char* member)
{
    a.push({name}).op(Code::GetVariable);
    return a.push({member}).op(Code::GetMember).op(Code::Trace);
}

TEST(Avm1Geom, PointKeepsRawValuesAndComputesWithNumbers)
{
    Asm a;
    define(a, "p", "Point", {1});
    traceVar(a, "p"); // y was not given: undefined, not NaN
    define(a, "q", "Point", {3, 4});
    traceMember(a, "q", "length");
    call(a, "q", "add", {Undefined{}}).op(Code::Trace);
    call(a, "q", "normalize", {10}).op(Code::Pop);
    traceVar(a, "q");
    // A zero-length point is left alone by normalize.
    define(a, "z", "Point");
    call(a, "z", "normalize", {10}).op(Code::Pop);
    traceVar(a, "z");
    // distance() needs a real Point first.
    a.push({"q"}).op(Code::GetVariable);
    a.push({"y", 0, "x", 0, 2}).op(Code::InitObject);
    a.push({2, "flash"}).op(Code::GetVariable);
    a.push({"geom"}).op(Code::GetMember).push({"Point"}).op(Code::GetMember);
    a.push({"distance"}).op(Code::CallMethod).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "(x=1, y=undefined)\n5\n(x=NaN, y=NaN)\n(x=6, y=8)\n"
                                    "(x=0, y=0)\nundefined\n");
}

TEST(Avm1Geom, RectangleEdgesAndComparisons)
{
    Asm a;
    define(a, "r", "Rectangle", {1, 3, 5, 7});
    // Moving the left edge keeps the right edge in place.
    a.push({"r"}).op(Code::GetVariable).push({"left", 0}).op(Code::SetMember);
    traceVar(a, "r");
    traceMember(a, "r", "right");
    traceMember(a, "r", "bottomRight");
    // Comparisons with NaN answer undefined; a plain false stops the chain.
    call(a, "r", "contains", {4, Undefined{}}).op(Code::Trace);
    call(a, "r", "contains", {-1, 5}).op(Code::Trace);
    call(a, "r", "contains", {0, 3}).op(Code::Trace);
    call(a, "r", "isEmpty").op(Code::Trace);
    // An overlap-free intersection is the empty rectangle.
    define(a, "far", "Rectangle", {100, 100, 1, 1});
    a.push({"far"}).op(Code::GetVariable).push({1, "r"}).op(Code::GetVariable);
    a.push({"intersection"}).op(Code::CallMethod).op(Code::Trace);
    a.push({"far"}).op(Code::GetVariable).push({1, "r"}).op(Code::GetVariable);
    a.push({"union"}).op(Code::CallMethod).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)),
              "(x=0, y=3, w=6, h=7)\n6\n(x=6, y=10)\nundefined\nfalse\ntrue\nfalse\n"
              "(x=0, y=0, w=0, h=0)\n(x=0, y=3, w=101, h=98)\n");
}

TEST(Avm1Geom, MatrixOperations)
{
    Asm a;
    define(a, "m", "Matrix", {2, 3, 5, 7, 9, 11});
    call(a, "m", "invert").op(Code::Pop);
    traceVar(a, "m");
    define(a, "n", "Matrix", {1, 2, 3, 4, 5, 6});
    call(a, "n", "scale", {13, 17}).op(Code::Pop);
    traceVar(a, "n");
    define(a, "g", "Matrix");
    call(a, "g", "createGradientBox", {200, 300}).op(Code::Pop);
    traceVar(a, "g");
    // createBox has no default rotation: NaN spreads to the linear part.
    call(a, "g", "createBox", {2, 3}).op(Code::Pop);
    traceVar(a, "g");
    define(a, "t", "Matrix", {2, 3, 5, 7, 11, 13});
    define(a, "one", "Point", {1, 1});
    a.push({"one"}).op(Code::GetVariable);
    a.push({1, "t"}).op(Code::GetVariable).push({"transformPoint"}).op(Code::CallMethod);
    a.op(Code::Trace);
    // concat applies the argument after this matrix.
    define(a, "c", "Matrix", {1, 0, 0, 1, 10, 0});
    define(a, "s", "Matrix", {2, 0, 0, 2, 0, 0});
    a.push({"s"}).op(Code::GetVariable);
    a.push({1, "c"}).op(Code::GetVariable).push({"concat"}).op(Code::CallMethod).op(Code::Pop);
    traceVar(a, "c");
    EXPECT_EQ(run(8, std::move(a)),
              "(a=-7, b=3, c=5, d=-2, tx=8, ty=-5)\n(a=13, b=34, c=39, d=68, tx=65, ty=102)\n"
              "(a=0.1220703125, b=0, c=0, d=0.18310546875, tx=100, ty=150)\n"
              "(a=NaN, b=NaN, c=NaN, d=NaN, tx=0, ty=0)\n(x=18, y=23)\n"
              "(a=2, b=0, c=0, d=2, tx=20, ty=0)\n");
}

TEST(Avm1Geom, ColorTransformAndPackageVisibility)
{
    Asm a;
    define(a, "ct", "ColorTransform");
    a.push({"ct"}).op(Code::GetVariable).push({"rgb", 0x123456}).op(Code::SetMember);
    traceVar(a, "ct");
    traceMember(a, "ct", "rgb");
    EXPECT_EQ(run(8, std::move(a)),
              "(redMultiplier=0, greenMultiplier=0, blueMultiplier=0, alphaMultiplier=1, "
              "redOffset=18, greenOffset=52, blueOffset=86, alphaOffset=0)\n1193046\n");

    // The packages appeared with SWF 8.
    Asm old;
    old.push({"flash"}).op(Code::GetVariable).op(Code::TypeOf).op(Code::Trace);
    EXPECT_EQ(run(7, std::move(old)), "undefined\n");
}

} // namespace
} // namespace zf::avm1
