#include "bitmap_p.h"
#include "test_runner_p.h"

#include <gtest/gtest.h>

#include <vector>

namespace zf::avm1 {
namespace {

using test::Asm;
using test::Item;
using test::Null;
using test::run;
using Code = swf::ActionCode;

// var name = new flash.display.BitmapData(args...)
Asm& defineBitmap(Asm& a, const char* name, std::vector<Item> args)
{
    a.push({name});
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        a.push({*it});
    }
    a.push({int(args.size()), "flash"}).op(Code::GetVariable);
    a.push({"display"}).op(Code::GetMember).push({"BitmapData"}).op(Code::NewMethod);
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

// Pushes name.getPixel32(x, y) in hex (a signed number: 0xFF000000 is
// "-1000000").
Asm& tracePixel(Asm& a, const char* name, int x, int y)
{
    call(a, name, "getPixel32", {x, y}).storeRegister(0).op(Code::Pop);
    return a.push({16, 1, test::Reg{0}, "toString"}).op(Code::CallMethod);
}

TEST(Avm1Bitmap, PremultipliedRoundTrip)
{
    // Straight colours lose precision through the premultiplied store the
    // way scripts observe it: round on the way in, ties down on the way out.
    struct Case {
        uint32_t written, read;
    } cases[] = {
        {0xFFBBCCDD, 0xFFBBCCDD}, {0xAABBCCDD, 0xAABBCCDC}, {0x12345678, 0x12395571},
        {0x98765432, 0x98755432}, {0x80BBBBBB, 0x80BBBBBB}, {0x01FFFFFF, 0x01FFFFFF},
        {0x00FFFFFF, 0x00000000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bitmap::unpremultiply(bitmap::premultiply(c.written)), c.read)
            << std::hex << c.written;
    }
}

TEST(Avm1Bitmap, CopyClipping)
{
    struct Case {
        bitmap::IntRect rect;
        int dx, dy;
        bool any;
        bitmap::IntRect clipped;
        int cdx, cdy;
    } cases[] = {
        {{0, 0, 4, 4}, 0, 0, true, {0, 0, 4, 4}, 0, 0},
        {{-2, -1, 4, 4}, 0, 0, true, {0, 0, 2, 3}, 2, 1}, // source edge
        {{0, 0, 4, 4}, -3, 2, true, {3, 0, 1, 2}, 0, 2},  // destination edge
        {{0, 0, 4, 4}, 4, 0, false, {}, 0, 0},            // entirely outside
        {{1, 1, 0, 3}, 0, 0, false, {}, 0, 0},            // empty
    };
    for (const auto& c : cases) {
        bitmap::IntRect rect = c.rect;
        int dx = c.dx, dy = c.dy;
        bool any = bitmap::clipCopy(rect, dx, dy, 4, 4, 4, 4);
        ASSERT_EQ(any, c.any) << c.rect.x << "," << c.rect.y << " -> " << c.dx << "," << c.dy;
        if (any) {
            EXPECT_EQ(rect.x, c.clipped.x);
            EXPECT_EQ(rect.y, c.clipped.y);
            EXPECT_EQ(rect.width, c.clipped.width);
            EXPECT_EQ(rect.height, c.clipped.height);
            EXPECT_EQ(dx, c.cdx);
            EXPECT_EQ(dy, c.cdy);
        }
    }
}

TEST(Avm1Bitmap, SizeLimitsDependOnVersion)
{
    struct Case {
        int version;
        double width, height;
        bool allowed;
    } cases[] = {
        {9, 2880, 2880, true}, {9, 2881, 1, false},    {9, 0, 5, false},        {10, 8191, 1, true},
        {10, 8192, 1, false},  {10, 4095, 4096, true}, {10, 4096, 4096, false}, {10, NAN, 5, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bitmap::sizeAllowed(c.version, c.width, c.height), c.allowed)
            << c.version << " " << c.width << "x" << c.height;
    }
    // A refused size makes `new` give undefined; a disposed bitmap answers -1.
    Asm a;
    defineBitmap(a, "big", {3000, 1});
    a.push({"big"}).op(Code::GetVariable).op(Code::Trace);
    defineBitmap(a, "b", {2, 2});
    call(a, "b", "dispose").op(Code::Pop);
    a.push({"b"}).op(Code::GetVariable).push({"width"}).op(Code::GetMember).op(Code::Trace);
    call(a, "b", "getPixel", {0, 0}).op(Code::Trace);
    EXPECT_EQ(run(9, std::move(a)), "undefined\n-1\n-1\n");
}

TEST(Avm1Bitmap, PixelAccessAndFills)
{
    Asm a;
    defineBitmap(a, "b", {3, 3, true, double(0xFFFFFFFF)});
    // setPixel keeps the pixel's alpha; out-of-range reads give 0.
    call(a, "b", "setPixel32", {0, 0, double(0x80FFFFFF)}).op(Code::Pop);
    call(a, "b", "setPixel", {0, 0, double(0xBBBBBB)}).op(Code::Pop);
    tracePixel(a, "b", 0, 0).op(Code::Trace);
    call(a, "b", "getPixel", {5, 0}).op(Code::Trace);
    call(a, "b", "getPixel").op(Code::Trace); // too few arguments
    // fillRect clips to the bitmap and needs a rectangle-like object.
    a.push({"height", 10, "width", 10, "y", 1, "x", -5, 4}).op(Code::InitObject);
    a.push({double(0xFF223344)}).op(Code::StackSwap);
    a.push({2, "b"}).op(Code::GetVariable).push({"fillRect"}).op(Code::CallMethod).op(Code::Trace);
    tracePixel(a, "b", 2, 2).op(Code::Trace);
    tracePixel(a, "b", 2, 0).op(Code::Trace);
    call(a, "b", "fillRect", {Null{}, 0}).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "-7f444445\n0\n-1\n0\n-ddccbc\n-1\n-1\n");
}

TEST(Avm1Bitmap, ColorBoundsMatchStoredPixels)
{
    Asm a;
    defineBitmap(a, "b", {3, 3, true, double(0xFFFFFFFF)});
    call(a, "b", "setPixel32", {1, 1, double(0xFF00FF00)}).op(Code::Pop);
    call(a, "b", "setPixel32", {2, 2, double(0xFF00FF00)}).op(Code::Pop);
    call(a, "b", "getColorBoundsRect", {double(0xFFFFFFFF), double(0xFF00FF00)}).op(Code::Trace);
    call(a, "b", "getColorBoundsRect", {double(0xFFFFFFFF), double(0xFFFFFFFF), false})
        .op(Code::Trace);
    // A transparent colour premultiplies to zero before the comparison.
    defineBitmap(a, "t", {2, 2, true, double(0x00000000)});
    call(a, "t", "getColorBoundsRect", {0xFF, 0x12}).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)),
              "(x=1, y=1, w=2, h=2)\n(x=1, y=1, w=2, h=2)\n(x=0, y=0, w=2, h=2)\n");
}

TEST(Avm1Bitmap, NoiseFollowsTheSeededGenerator)
{
    // Gray noise draws one value per pixel, row by row; seeds 0 and 1 start
    // the same sequence and -1 continues like 2.
    Asm a;
    for (int seed : {1, 0, -1, 2}) {
        defineBitmap(a, "b", {2, 1, false});
        call(a, "b", "noise", {seed, 0, 255, 1, true}).op(Code::Pop);
        call(a, "b", "getPixel", {0, 0}).op(Code::Trace);
        call(a, "b", "getPixel", {1, 0}).op(Code::Trace);
    }
    // A narrow range maps the generator's value by remainder.
    defineBitmap(a, "n", {1, 1, false});
    call(a, "n", "noise", {1, 10, 11, 1}).op(Code::Pop);
    call(a, "n", "getPixel", {0, 0}).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)),
              "10987431\n15856113\n10987431\n15856113\n5131854\n14869218\n5131854\n14869218\n"
              "720896\n");
}

TEST(Avm1Bitmap, ThresholdCountsAndCopies)
{
    Asm a;
    defineBitmap(a, "src", {2, 2, true, double(0xFF000000)});
    call(a, "src", "setPixel32", {1, 0, double(0xFF808080)}).op(Code::Pop);
    defineBitmap(a, "dst", {2, 2, true, 0});
    a.push({"dst"}).op(Code::GetVariable).push({"rectangle"}).op(Code::GetMember);
    a.push({"r"}).op(Code::StackSwap).op(Code::SetVariable);
    // Pixels whose red is above 0x40 turn blue; the rest are copied.
    a.push({true, double(0xFF0000), double(0xFF0000FF), double(0x400000), ">"});
    a.push({"x", 0, "y", 0, 2}).op(Code::InitObject);
    a.push({"r"}).op(Code::GetVariable).push({"src"}).op(Code::GetVariable);
    a.push({8, "dst"}).op(Code::GetVariable).push({"threshold"}).op(Code::CallMethod);
    a.op(Code::Trace);
    tracePixel(a, "dst", 0, 0).op(Code::Trace);
    tracePixel(a, "dst", 1, 0).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "1\n-1000000\n-ffff01\n");
}

TEST(Avm1Bitmap, CopiesAndComparisons)
{
    Asm a;
    defineBitmap(a, "src", {2, 2, true, double(0x80FF0000)});
    defineBitmap(a, "dst", {2, 2, true, double(0xFF0000FF)});
    // Copy the whole source one pixel left and up: only (0,0) is covered.
    a.push({"src"}).op(Code::GetVariable).push({"rectangle"}).op(Code::GetMember);
    a.push({"r"}).op(Code::StackSwap).op(Code::SetVariable);
    a.push({"x", -1, "y", -1, 2}).op(Code::InitObject);
    a.push({"r"}).op(Code::GetVariable).push({"src"}).op(Code::GetVariable);
    a.push({3, "dst"}).op(Code::GetVariable).push({"copyPixels"}).op(Code::CallMethod);
    a.op(Code::Pop);
    tracePixel(a, "dst", 0, 0).op(Code::Trace);
    tracePixel(a, "dst", 1, 1).op(Code::Trace);
    // With mergeAlpha the half-transparent red goes over the blue.
    a.push({true, Null{}, Null{}, "x", 1, "y", 1, 2}).op(Code::InitObject);
    a.push({"r"}).op(Code::GetVariable).push({"src"}).op(Code::GetVariable);
    a.push({6, "dst"}).op(Code::GetVariable).push({"copyPixels"}).op(Code::CallMethod);
    a.op(Code::Pop);
    tracePixel(a, "dst", 1, 1).op(Code::Trace);
    // compare: 0 when equal, per-channel differences otherwise, -4 for
    // different heights.
    defineBitmap(a, "p", {2, 1, false, double(0xFF112233)});
    call(a, "p", "clone").storeRegister(1).op(Code::Pop);
    a.push({test::Reg{1}, 1, "p"}).op(Code::GetVariable).push({"compare"}).op(Code::CallMethod);
    a.op(Code::Trace);
    a.push({double(0xFF102030), 0, 1, 3, test::Reg{1}, "setPixel32"}).op(Code::CallMethod);
    a.op(Code::Pop);
    a.push({test::Reg{1}, 1, "p"}).op(Code::GetVariable).push({"compare"}).op(Code::CallMethod);
    a.push({"d"}).op(Code::StackSwap).op(Code::SetVariable);
    tracePixel(a, "d", 0, 0).op(Code::Trace);
    tracePixel(a, "d", 1, 0).op(Code::Trace);
    a.push({"dst"}).op(Code::GetVariable);
    a.push({1, "p"}).op(Code::GetVariable).push({"compare"}).op(Code::CallMethod);
    a.op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "-7f010000\n-ffff01\n-7fff81\n0\n0\n-fefdfd\n-4\n");
}

// Pushes {x: x, y: y}.
Asm& point(Asm& a, int x, int y)
{
    return a.push({"x", x, "y", y, 2}).op(Code::InitObject);
}

// Pushes {x: x, y: y, width: w, height: h}.
Asm& rectangle(Asm& a, int x, int y, int w, int h)
{
    return a.push({"x", x, "y", y, "width", w, "height", h, 4}).op(Code::InitObject);
}

// Calls target.method(source, source.rectangle, {x: 0, y: 0}, extra...)
// and traces its answer.
Asm& transfer(Asm& a, const char* target, const char* method, const char* source,
              std::vector<Item> extra)
{
    for (auto it = extra.rbegin(); it != extra.rend(); ++it) {
        a.push({*it});
    }
    point(a, 0, 0);
    a.push({source}).op(Code::GetVariable).push({"rectangle"}).op(Code::GetMember);
    a.push({source}).op(Code::GetVariable);
    a.push({int(extra.size()) + 3, target}).op(Code::GetVariable);
    return a.push({method}).op(Code::CallMethod).op(Code::Trace);
}

TEST(Avm1Bitmap, ApplyFilterRunsTheFilterOverTheRectangle)
{
    Asm a;
    defineBitmap(a, "src", {3, 1, true, 0});
    defineBitmap(a, "dst", {3, 1, true, 0});
    a.push({double(0xFF000000), 0, 1, 3, "src"}).op(Code::GetVariable);
    a.push({"setPixel32"}).op(Code::CallMethod).op(Code::Pop);
    // var blur = new flash.filters.BlurFilter(2, 1, 1): a 2-pixel box
    // spreads a quarter of the pixel to either side.
    a.push({"blur"});
    a.push({1, 1, 2, 3, "flash"}).op(Code::GetVariable);
    a.push({"filters"}).op(Code::GetMember).push({"BlurFilter"}).op(Code::NewMethod);
    a.op(Code::SetVariable);
    a.push({"blur"}).op(Code::GetVariable);
    point(a, 0, 0);
    a.push({"src"}).op(Code::GetVariable).push({"rectangle"}).op(Code::GetMember);
    a.push({"src"}).op(Code::GetVariable);
    a.push({4, "dst"}).op(Code::GetVariable).push({"applyFilter"}).op(Code::CallMethod);
    a.op(Code::Trace);
    tracePixel(a, "dst", 0, 0).op(Code::Trace);
    tracePixel(a, "dst", 1, 0).op(Code::Trace);
    tracePixel(a, "dst", 2, 0).op(Code::Trace);
    tracePixel(a, "src", 0, 0).op(Code::Trace);
    // Something that is no filter copies the pixels unchanged.
    transfer(a, "src", "applyFilter", "dst", {1});
    tracePixel(a, "src", 0, 0).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "0\n40000000\n-80000000\n40000000\n0\n0\n40000000\n");
}

TEST(Avm1Bitmap, ChannelTransfers)
{
    Asm a;
    defineBitmap(a, "b", {2, 1, false, double(0x336699)});
    defineBitmap(a, "src", {2, 1, false, double(0x80FF00)});
    // Red of the source into blue; then an unknown source channel (3) clears
    // green. copyChannel answers -1 even when it copied.
    transfer(a, "b", "copyChannel", "src", {1, 4});
    tracePixel(a, "b", 1, 0).op(Code::Trace);
    transfer(a, "b", "copyChannel", "src", {3, 2});
    tracePixel(a, "b", 0, 0).op(Code::Trace);
    // merge blends each channel by its multiplier out of 256.
    defineBitmap(a, "m", {1, 1, false, 0});
    defineBitmap(a, "w", {1, 1, false, double(0xFFFFFF)});
    transfer(a, "m", "merge", "w", {128, 0, 0, 0});
    tracePixel(a, "m", 0, 0).op(Code::Trace);
    // paletteMap: a channel with an array maps through it (missing entries
    // give 0); channels without one keep their value; the results add up.
    defineBitmap(a, "p", {1, 1, false, double(0x010203)});
    a.push({"table", 0, "Array"}).op(Code::NewObject).op(Code::SetVariable);
    a.push({"table"}).op(Code::GetVariable).push({1, double(0xAA0000)}).op(Code::SetMember);
    transfer(a, "p", "paletteMap", "p", {Null{}, Null{}, Null{}, Null{}});
    tracePixel(a, "p", 0, 0).op(Code::Trace);
    a.push({"table"}).op(Code::GetVariable);
    point(a, 0, 0);
    a.push({"p"}).op(Code::GetVariable).push({"rectangle"}).op(Code::GetMember);
    a.push({"p"}).op(Code::GetVariable);
    a.push({4, "p"}).op(Code::GetVariable).push({"paletteMap"}).op(Code::CallMethod);
    a.op(Code::Pop);
    tracePixel(a, "p", 0, 0).op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "-1\n-cc9980\n-1\n-ccff80\n0\n-810000\n0\n-fefdfd\n-55fdfd\n");
}

TEST(Avm1Bitmap, FloodFillScrollAndHitTest)
{
    Asm a;
    // A black wall down the middle column stops the fill.
    defineBitmap(a, "f", {3, 3, false, double(0xFFFFFF)});
    for (int y = 0; y < 3; ++y) {
        call(a, "f", "setPixel", {1, y, 0}).op(Code::Pop);
    }
    call(a, "f", "floodFill", {0, 0, double(0xFF0000)}).op(Code::Pop);
    for (int x = 0; x < 3; ++x) {
        call(a, "f", "getPixel", {x, 2}).op(Code::Trace);
    }
    // scroll moves the content; the uncovered column keeps its old pixel.
    defineBitmap(a, "s", {3, 1, false, 0});
    for (int x = 0; x < 3; ++x) {
        call(a, "s", "setPixel", {x, 0, 0x111111 * (x + 1)}).op(Code::Pop);
    }
    call(a, "s", "scroll", {1, 0}).op(Code::Pop);
    for (int x = 0; x < 3; ++x) {
        call(a, "s", "getPixel", {x, 0}).op(Code::Trace);
    }
    call(a, "s", "scroll", {-5, 0}).op(Code::Pop); // entirely off: no change
    call(a, "s", "getPixel", {2, 0}).op(Code::Trace);
    // hitTest against a point or a rectangle, with the bitmap placed at
    // (10, 10): only its bottom-right pixel is opaque.
    defineBitmap(a, "h", {2, 2, true, 0});
    call(a, "h", "setPixel32", {1, 1, double(0xFF000000)}).op(Code::Pop);
    auto hit = [&](auto pushSecond) {
        pushSecond();
        a.push({0x80});
        point(a, 10, 10);
        a.push({3, "h"}).op(Code::GetVariable).push({"hitTest"}).op(Code::CallMethod);
        a.op(Code::Trace);
    };
    hit([&] { point(a, 11, 11); });
    hit([&] { point(a, 10, 10); });
    hit([&] { rectangle(a, 0, 0, 11, 11); });
    hit([&] { rectangle(a, 0, 0, 12, 12); });
    EXPECT_EQ(run(8, std::move(a)), "16711680\n0\n16777215\n"
                                    "1118481\n1118481\n2236962\n2236962\n"
                                    "true\nfalse\nfalse\ntrue\n");
}

TEST(Avm1Bitmap, DisposedBitmapsAnswerWithCodes)
{
    Asm a;
    defineBitmap(a, "d", {2, 2, true, 0});
    call(a, "d", "dispose").op(Code::Pop);
    a.push({"d"}).op(Code::GetVariable).push({"width"}).op(Code::GetMember).op(Code::Trace);
    call(a, "d", "getPixel", {0, 0}).op(Code::Trace);
    call(a, "d", "clone").op(Code::Trace);
    call(a, "d", "dispose").op(Code::Trace);
    // A live target with a disposed source: -3; with no source at all: -2.
    defineBitmap(a, "b", {2, 2, true, 0});
    transfer(a, "b", "merge", "d", {1, 1, 1, 1});
    point(a, 0, 0);
    rectangle(a, 0, 0, 1, 1);
    a.push({"nothing", 3, "b"}).op(Code::GetVariable).push({"copyPixels"}).op(Code::CallMethod);
    a.op(Code::Trace);
    EXPECT_EQ(run(8, std::move(a)), "-1\n-1\n-1\n-1\n-3\n-2\n");
}

} // namespace
} // namespace zf::avm1
