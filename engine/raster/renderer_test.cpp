// Renderer behaviour end to end: fill rules and layering of SWF shapes,
// strokes, masks, thread independence and hostile input.
#include "raster/coverage_p.h"
#include "raster/covered_runs_p.h"
#include "raster/geometry_p.h"
#include "raster/test_shapes_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace zf::raster {
namespace {

using namespace testing;

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

// Darkness of a pixel drawn in black on white.
int ink(const Canvas& canvas, int x, int y)
{
    return 255 - canvas.at(x, y).g;
}

swf::Shape strokedPath(std::initializer_list<Point> pixels, const swf::LineStyle& line)
{
    swf::Shape shape;
    shape.groups.resize(1);
    shape.groups[0].lines = {line};
    std::vector<Point> p(pixels);
    for (size_t i = 0; i + 1 < p.size(); ++i) {
        swf::Edge edge;
        edge.x0 = int32_t(p[i].x * 20), edge.y0 = int32_t(p[i].y * 20);
        edge.x1 = int32_t(p[i + 1].x * 20), edge.y1 = int32_t(p[i + 1].y * 20);
        edge.line = 1;
        shape.groups[0].edges.push_back(edge);
    }
    return shape;
}

TEST(RendererTest, FillRulesAndInteriorEdges)
{
    for (bool nonZero : {false, true}) {
        swf::Shape shape;
        shape.nonZeroWinding = nonZero;
        shape.groups.resize(1);
        shape.groups[0].fills = {solidFill(kBlack)};
        addRect(shape.groups[0], 2, 2, 12, 12, 1);
        addRect(shape.groups[0], 6, 6, 16, 16, 1);
        // An edge with the same style on both sides is interior: no effect.
        addPolygon(shape.groups[0], {{40, 300}, {300, 40}}, 1, 0, 1);
        Canvas canvas = renderShape(shape, 20, 20);
        EXPECT_EQ(ink(canvas, 8, 8), nonZero ? 255 : 0) << "overlap, nonZero " << nonZero;
        EXPECT_EQ(ink(canvas, 3, 3), 255);
        EXPECT_EQ(ink(canvas, 14, 14), 255);
        EXPECT_EQ(ink(canvas, 4, 10), 255) << "interior edge left a trace";
    }
}

TEST(RendererTest, AdjacentFillsLeaveNoSeam)
{
    // A square split along an oblique edge into two fills of one group: the
    // background must not show through along the shared edge.
    swf::Shape shape;
    shape.groups.resize(1);
    swf::ShapeGroup& g = shape.groups[0];
    g.fills = {solidFill(kBlack), solidFill({0, 0, 0, 255})};
    addPolygon(g, {{40, 40}, {360, 40}, {360, 360}}, 0, 0, 1); // fill 1 on the left
    g.edges.pop_back();
    addPolygon(g, {{360, 360}, {40, 360}, {40, 40}}, 0, 0, 2);
    g.edges.pop_back();
    addPolygon(g, {{40, 40}, {360, 360}}, 2, 0, 1); // the shared edge
    g.edges.pop_back();
    Canvas canvas = renderShape(shape, 20, 20);
    for (int y = 2; y < 17; ++y) {
        for (int x = 2; x < 17; ++x)
            ASSERT_EQ(ink(canvas, x, y), 255) << x << "," << y;
    }
}

// Edge pixels count 4x4 samples, at 1/8, 3/8, 5/8 and 7/8 of the pixel: a
// vertical edge's coverage steps in quarters by where it lies between them.
TEST(RendererTest, EdgeCoverageStepsInQuarters)
{
    struct Case {
        int twips; // left edge, into pixel 2
        int coverage;
    };
    const Case cases[] = {{1, 255},  {2, 255}, {3, 191}, {6, 191}, {10, 128},
                          {12, 128}, {14, 64}, {17, 64}, {18, 0},  {19, 0}};
    for (const Case& c : cases) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {solidFill(kBlack)};
        const double left = 40 + c.twips;
        addPolygon(shape.groups[0], {{left, 20}, {160, 20}, {160, 100}, {left, 100}}, 1);
        Canvas canvas = renderShape(shape, 10, 6);
        EXPECT_NEAR(ink(canvas, 2, 3), c.coverage, 1) << "edge at +" << c.twips << " twips";
        EXPECT_EQ(ink(canvas, 5, 3), 255);
    }
}

TEST(RendererTest, HitTestFollowsFillRulesAndStrokes)
{
    struct Case {
        Point twips;
        bool evenOdd, nonZero;
    };
    // Squares (2..12) and (6..16) px overlapping, and a 4 px line from
    // (30, 5) to (40, 5) px in a second group.
    const Case cases[] = {
        {{60, 60}, true, true},     {{160, 160}, false, true},   {{300, 300}, true, true},
        {{20, 300}, false, false},  {{700, 100}, true, true},    {{700, 139}, true, true},
        {{700, 141}, false, false}, {{-1e300, 0}, false, false},
    };
    for (bool nonZero : {false, true}) {
        swf::Shape shape;
        shape.nonZeroWinding = nonZero;
        shape.groups.resize(2);
        shape.groups[0].fills = {solidFill(kBlack)};
        addRect(shape.groups[0], 2, 2, 12, 12, 1);
        addRect(shape.groups[0], 6, 6, 16, 16, 1);
        shape.groups[1].lines = {solidLine(4, kBlack)};
        addPolygon(shape.groups[1], {{600, 100}, {800, 100}}, 0, 1);
        for (const Case& c : cases)
            EXPECT_EQ(hitTest(shape, c.twips), nonZero ? c.nonZero : c.evenOdd)
                << c.twips.x << "," << c.twips.y << " nonZero " << nonZero;
    }
}

TEST(RendererTest, GroupsAndStylesDrawInOrder)
{
    swf::Shape shape;
    shape.groups.resize(2);
    shape.groups[0].fills = {solidFill(kRed), solidFill(kBlue)};
    shape.groups[0].lines = {solidLine(2, kBlack)};
    addRect(shape.groups[0], 0, 0, 10, 10, 2);
    addRect(shape.groups[0], 5, 0, 15, 10, 1, 1); // style 1 first, so below style 2
    shape.groups[1].fills = {solidFill({0, 255, 0, 255})};
    addRect(shape.groups[1], 12, 0, 20, 10, 1); // later group covers the stroke
    Canvas canvas = renderShape(shape, 20, 10);
    EXPECT_EQ(canvas.at(7, 5), kBlue);
    EXPECT_EQ(canvas.at(2, 5), kBlue);
    EXPECT_EQ(canvas.at(5, 5), kBlack);                  // stroke above the fills
    EXPECT_EQ(canvas.at(14, 5), (Rgba{0, 255, 0, 255})); // next group above the stroke
}

TEST(RendererTest, StrokeWidthAndCaps)
{
    struct Case {
        swf::CapStyle cap;
        int x, y;
        int minInk, maxInk;
    };
    using swf::CapStyle;
    // A 4 px line from (10, 20) to (50, 20): rows 18..21 are inside.
    const Case cases[] = {
        {CapStyle::None, 10, 18, 255, 255},  {CapStyle::None, 49, 21, 255, 255},
        {CapStyle::None, 9, 20, 0, 0},       {CapStyle::None, 50, 20, 0, 0},
        {CapStyle::None, 30, 17, 0, 0},      {CapStyle::None, 30, 22, 0, 0},
        {CapStyle::Square, 8, 18, 255, 255}, {CapStyle::Square, 51, 21, 255, 255},
        {CapStyle::Square, 7, 20, 0, 0},     {CapStyle::Square, 52, 20, 0, 0},
        {CapStyle::Round, 9, 19, 255, 255},  {CapStyle::Round, 8, 19, 60, 254},
        {CapStyle::Round, 8, 18, 1, 120},    {CapStyle::Round, 7, 19, 0, 0},
    };
    for (const Case& c : cases) {
        swf::LineStyle line = solidLine(4, kBlack);
        line.startCap = line.endCap = c.cap;
        Canvas canvas = renderShape(strokedPath({{10, 20}, {50, 20}}, line), 60, 40);
        int value = ink(canvas, c.x, c.y);
        EXPECT_GE(value, c.minInk) << "cap " << int(c.cap) << " at " << c.x << "," << c.y;
        EXPECT_LE(value, c.maxInk) << "cap " << int(c.cap) << " at " << c.x << "," << c.y;
    }
}

TEST(RendererTest, ThinStrokesNeverVanish)
{
    for (double width : {0.0, 0.1, 1.0}) {
        // Centred on pixel row 10: exactly one pixel high.
        Canvas canvas =
            renderShape(strokedPath({{5, 10.5}, {30, 10.5}}, solidLine(width, kBlack)), 40, 20);
        EXPECT_EQ(ink(canvas, 15, 10), 255) << width;
        EXPECT_EQ(ink(canvas, 15, 9), 0) << width;
        EXPECT_EQ(ink(canvas, 15, 11), 0) << width;
    }
    // Scaled far down, a 2 px line is still one pixel wide.
    Canvas canvas = renderShape(strokedPath({{50, 105}, {300, 105}}, solidLine(2, kBlack)), 40, 20,
                                Matrix::scale(0.005, 0.005));
    EXPECT_EQ(ink(canvas, 15, 10), 255);
    EXPECT_EQ(ink(canvas, 15, 9) + ink(canvas, 15, 11), 0);
}

TEST(RendererTest, StrokeJoins)
{
    struct Case {
        swf::JoinStyle join;
        double miterLimit;
        int minInk, maxInk; // at the outer corner pixel (32, 32)
    };
    using swf::JoinStyle;
    const Case cases[] = {
        {JoinStyle::Miter, 3, 255, 255},
        {JoinStyle::Bevel, 3, 0, 0},
        {JoinStyle::Round, 3, 3, 12},
        {JoinStyle::Miter, 1, 1, 90},
    };
    for (const Case& c : cases) {
        swf::LineStyle line = solidLine(6, kBlack);
        line.join = c.join;
        line.miterLimit = c.miterLimit;
        Canvas canvas = renderShape(strokedPath({{10, 30}, {30, 30}, {30, 10}}, line), 40, 40);
        int value = ink(canvas, 32, 32);
        EXPECT_GE(value, c.minInk) << "join " << int(c.join) << " limit " << c.miterLimit;
        EXPECT_LE(value, c.maxInk) << "join " << int(c.join) << " limit " << c.miterLimit;
        EXPECT_EQ(ink(canvas, 29, 29), 255); // inner corner
        EXPECT_EQ(ink(canvas, 26, 26), 0);
    }
}

TEST(RendererTest, ClosedStrokesJoinAtTheStart)
{
    for (bool noClose : {false, true}) {
        swf::LineStyle line = solidLine(4, kBlack);
        line.join = swf::JoinStyle::Miter;
        line.startCap = line.endCap = swf::CapStyle::None;
        line.noClose = noClose;
        Canvas canvas = renderShape(
            strokedPath({{10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}}, line), 40, 40);
        EXPECT_EQ(ink(canvas, 8, 8), noClose ? 0 : 255) << noClose;
        EXPECT_EQ(ink(canvas, 31, 31), 255) << noClose;
    }
}

TEST(RendererTest, NestedMasksIntersect)
{
    swf::Shape left, top, full, corner;
    for (swf::Shape* s : {&left, &top, &full, &corner}) {
        s->groups.resize(1);
        s->groups[0].fills = {solidFill(s == &corner ? kBlue : kRed)};
    }
    addRect(left.groups[0], 0, 0, 32, 64, 1);
    addRect(top.groups[0], 0, 0, 64, 32, 1);
    addRect(full.groups[0], 0, 0, 64, 64, 1);
    addRect(corner.groups[0], 48, 48, 64, 64, 1);
    left.groups[0].fills[0].color.a = 10; // colour and alpha of masks do not matter

    Canvas canvas(64, 64);
    Renderer renderer;
    renderer.begin(canvas.surface(), {});
    renderer.beginMask();
    renderer.drawShape(left, kTwipsToPixels, {}, nullptr);
    renderer.endMask();
    renderer.beginMask();
    renderer.drawShape(top, kTwipsToPixels, {}, nullptr);
    renderer.endMask();
    renderer.drawShape(full, kTwipsToPixels, {}, nullptr);
    renderer.popMask();
    renderer.drawShape(corner, kTwipsToPixels, {}, nullptr); // clipped by `left` only
    renderer.popMask();
    renderer.popMask(); // unbalanced: ignored
    renderer.drawShape(corner, Matrix::translate(-8, 0) * kTwipsToPixels, {}, nullptr);
    renderer.finish();

    const Rgba white{255, 255, 255, 255};
    EXPECT_EQ(canvas.at(10, 10), kRed);
    EXPECT_EQ(canvas.at(40, 10), white);
    EXPECT_EQ(canvas.at(10, 40), white);
    EXPECT_EQ(canvas.at(44, 56), kBlue); // the unmasked copy
    EXPECT_EQ(canvas.at(60, 60), white); // the masked copy lies outside `left`
}

// Mask buffers are reused from mask to mask and frame to frame: what one
// mask covered must not let content through under the next.
TEST(RendererTest, MasksDoNotLeakIntoLaterMasks)
{
    auto rect = [](double x0, double y0, double x1, double y1, Rgba color) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {solidFill(color)};
        addRect(shape.groups[0], x0, y0, x1, y1, 1);
        return shape;
    };
    const swf::Shape full = rect(0, 0, 80, 70, kRed);
    struct Case {
        const char* name;
        swf::Shape mask;
        Point inside;
        Point outside; // covered by an earlier mask only
    };
    const Case cases[] = {
        {"left, then right", rect(50, 5, 75, 60, kBlack), {60, 30}, {10, 30}},
        {"top, then bottom", rect(5, 45, 75, 68, kBlack), {30, 60}, {30, 10}},
        {"large, then small", rect(30, 30, 40, 40, kBlack), {35, 35}, {5, 65}},
    };
    const swf::Shape first[] = {rect(0, 0, 40, 70, kBlack), rect(0, 0, 80, 35, kBlack),
                                rect(0, 0, 80, 70, kBlack)};
    Renderer renderer;
    for (size_t i = 0; i < std::size(cases); ++i) {
        for (bool sameFrame : {true, false}) {
            Canvas canvas(80, 70);
            renderer.begin(canvas.surface(), {});
            renderer.beginMask();
            renderer.drawShape(first[i], kTwipsToPixels, {}, nullptr);
            renderer.endMask();
            renderer.popMask();
            if (!sameFrame) {
                renderer.finish();
                renderer.begin(canvas.surface(), {});
            }
            renderer.beginMask();
            renderer.drawShape(cases[i].mask, kTwipsToPixels, {}, nullptr);
            renderer.endMask();
            renderer.drawShape(full, kTwipsToPixels, {}, nullptr);
            renderer.popMask();
            renderer.finish();
            const Case& c = cases[i];
            EXPECT_EQ(canvas.at(int(c.inside.x), int(c.inside.y)), kRed) << c.name;
            EXPECT_EQ(canvas.at(int(c.outside.x), int(c.outside.y)), (Rgba{255, 255, 255, 255}))
                << c.name << ", same frame " << sameFrame;
        }
    }
}

swf::Shape randomShape(std::mt19937& random)
{
    std::uniform_int_distribution<int> coordinate(-400, 4000);
    std::uniform_int_distribution<int> channel(0, 255);
    swf::Shape shape;
    shape.nonZeroWinding = random() % 2;
    shape.groups.resize(1);
    swf::ShapeGroup& group = shape.groups[0];
    group.fills = {solidFill({uint8_t(channel(random)), 80, 40, uint8_t(channel(random))})};
    swf::FillStyle gradient;
    gradient.type = swf::FillType::RadialGradient;
    gradient.matrix = {0.05, 0.01, -0.01, 0.05, double(coordinate(random)), 1000};
    gradient.gradient.stops = {{0, {255, 0, 0, 255}}, {200, {0, 0, 255, 100}}};
    group.fills.push_back(gradient);
    group.lines = {solidLine(random() % 5, {20, 200, 20, 200})};
    for (int i = 0; i < 6; ++i) {
        swf::Edge edge;
        edge.x0 = i == 0 ? coordinate(random) : group.edges.back().x1;
        edge.y0 = i == 0 ? coordinate(random) : group.edges.back().y1;
        edge.x1 = i == 5 ? group.edges[0].x0 : coordinate(random);
        edge.y1 = i == 5 ? group.edges[0].y0 : coordinate(random);
        edge.cx = coordinate(random), edge.cy = coordinate(random);
        edge.curved = i % 2;
        edge.fill1 = 1 + random() % 2;
        edge.line = random() % 2;
        group.edges.push_back(edge);
    }
    return shape;
}

TEST(RendererTest, ThreadCountDoesNotChangeTheResult)
{
    std::mt19937 random(42);
    std::vector<swf::Shape> shapes;
    for (int i = 0; i < 150; ++i)
        shapes.push_back(randomShape(random));
    std::vector<std::vector<uint8_t>> results;
    Renderer renderer;
    for (int threads : {1, 2, 3, 1}) {
        Canvas canvas(173, 211);
        renderer.begin(canvas.surface(), {{10, 20, 30, 255}, threads, true});
        for (size_t i = 0; i < shapes.size(); ++i) {
            if (i == 50)
                renderer.beginMask();
            renderer.drawShape(shapes[i], kTwipsToPixels, {}, nullptr);
            if (i == 50)
                renderer.endMask();
        }
        renderer.popMask();
        renderer.finish();
        results.push_back(canvas.pixels);
    }
    for (size_t i = 1; i < results.size(); ++i)
        EXPECT_EQ(std::memcmp(results[0].data(), results[i].data(), results[0].size()), 0) << i;
}

// Shapes are split into bands and each band sees only the segments bucketed
// for it; the result must be what one band over the whole surface gives, for
// edges within a band, across a few, and across all of them.
TEST(RendererTest, BandsSeeEverySegmentThatReachesThem)
{
    constexpr int kWidth = 61, kHeight = 333;
    std::mt19937 random(8);
    std::uniform_real_distribution<double> x(-100, (kWidth + 5) * 20.0);
    std::uniform_real_distribution<double> y(-300, (kHeight + 15) * 20.0);
    std::uniform_real_distribution<double> nudge(-900, 900);
    for (int round = 0; round < 40; ++round) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {solidFill(kBlack)};
        std::vector<Point> twips;
        for (int i = 0; i < 12; ++i) {
            // Long jumps mixed with short steps near the previous point.
            Point p = twips.empty() || i % 3 == 0
                          ? Point{x(random), y(random)}
                          : Point{twips.back().x + nudge(random), twips.back().y + nudge(random)};
            twips.push_back({std::round(p.x), std::round(p.y)});
        }
        std::vector<Point> device;
        for (const Point& p : twips) {
            swf::Edge edge;
            edge.x0 = int32_t(p.x), edge.y0 = int32_t(p.y);
            const Point& next = twips[(&p - twips.data() + 1) % twips.size()];
            edge.x1 = int32_t(next.x), edge.y1 = int32_t(next.y);
            edge.fill1 = 1;
            shape.groups[0].edges.push_back(edge);
            device.push_back(kTwipsToPixels.apply(p));
        }
        const Canvas canvas = renderShape(shape, kWidth, kHeight);

        std::vector<FixedSegment> segments;
        SegmentSink sink(segments, kWidth, kHeight);
        sink.polygon(device.data(), device.size());
        CellRasterizer cells;
        cells.setBand(0, kHeight, kWidth);
        for (const FixedSegment& s : segments)
            cells.addSegment(s);
        std::vector<uint8_t> expected(size_t(kWidth) * kHeight, 0);
        cells.sweep(FillRule::EvenOdd, [&](int row, int x0, int x1, const uint8_t* coverage) {
            std::copy(coverage, coverage + (x1 - x0), expected.begin() + size_t(row) * kWidth + x0);
        });
        for (int py = 0; py < kHeight; ++py) {
            for (int px = 0; px < kWidth; ++px)
                ASSERT_EQ(ink(canvas, px, py), expected[size_t(py) * kWidth + px])
                    << "round " << round << " at " << px << "," << py;
        }
    }
}

// The stretches of a masked coverage row: the word-at-a-time scan against a
// pixel-by-pixel walk, over rows of sparse islands with gaps around the
// minimum and runs that end at any byte of a word.
TEST(RendererTest, CoveredRunsSkipOnlyLongGaps)
{
    auto reference = [](const std::vector<uint8_t>& coverage) {
        std::vector<std::pair<int, int>> runs;
        const int count = int(coverage.size());
        for (int x = 0; x < count;) {
            if (coverage[x] == 0) {
                ++x;
                continue;
            }
            int end = x + 1, zeros = 0;
            for (int i = end; i < count && zeros < kMinCoverageGap; ++i) {
                zeros = coverage[i] ? 0 : zeros + 1;
                if (coverage[i])
                    end = i + 1;
            }
            runs.push_back({x, end - x});
            x = end;
        }
        return runs;
    };
    std::mt19937 random(21);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> coverage(random() % 150);
        for (size_t x = 0; x < coverage.size();) {
            const int gap =
                int(random() % 3 == 0 ? kMinCoverageGap - 1 + random() % 3 : random() % 24);
            x += size_t(gap);
            const int length = int(random() % 4 == 0 ? random() % 40 : random() % 6);
            for (int n = length; n > 0 && x < coverage.size(); --n, ++x)
                coverage[x] = uint8_t(1 + random() % 255);
        }
        std::vector<std::pair<int, int>> runs;
        forEachCoveredRun(coverage.data(), int(coverage.size()), [&](int start, int length) {
            runs.push_back({start, length});
        });
        ASSERT_EQ(runs, reference(coverage)) << "round " << round;
    }
}

TEST(RendererTest, HostileInputIsSkippedOrClipped)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        Matrix matrix;
        int32_t coordinate;
        uint32_t fill;
        FrameStats expected;
    };
    const Case cases[] = {
        {"nan matrix", {nan, 0, 0, 1, 0, 0}, 200, 1, {0, 0, 1}},
        {"infinite translation", {1, 0, 0, 1, inf, 0}, 200, 1, {0, 0, 1}},
        {"huge scale", Matrix::scale(1e30, 1e30), 200, 1, {1, 0, 0}},
        {"extreme coordinates", kTwipsToPixels, std::numeric_limits<int32_t>::max(), 1, {1, 0, 0}},
        {"off surface", Matrix::translate(-1e6, 0), 200, 1, {0, 1, 0}},
        {"style out of range", kTwipsToPixels, 200, 99, {1, 0, 0}},
        {"degenerate matrix", Matrix::scale(0, 0), 200, 1, {1, 0, 0}},
    };
    for (const Case& c : cases) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {solidFill(kRed)};
        shape.groups[0].lines = {solidLine(3, kBlue)};
        swf::FillStyle missing;
        missing.type = swf::FillType::ClippedBitmap;
        missing.bitmapId = 0xFFFF;
        shape.groups[0].fills.push_back(missing);
        int32_t v = c.coordinate;
        addPolygon(shape.groups[0], {{-double(v), -double(v)}, {double(v), 0}, {0, double(v)}},
                   c.fill, 1, 2);
        Canvas canvas(16, 16);
        Renderer renderer;
        MapBitmaps bitmaps;
        renderer.begin(canvas.surface(), {});
        renderer.drawShape(shape, c.matrix, {}, &bitmaps);
        renderer.finish();
        FrameStats stats = renderer.stats();
        EXPECT_EQ(stats.shapesDrawn, c.expected.shapesDrawn) << c.name;
        EXPECT_EQ(stats.shapesCulled, c.expected.shapesCulled) << c.name;
        EXPECT_EQ(stats.shapesSkipped, c.expected.shapesSkipped) << c.name;
    }
    // Absurd edge counts are refused before any work is done.
    swf::Shape huge;
    huge.groups.resize(1);
    huge.groups[0].fills = {solidFill(kRed)};
    huge.groups[0].edges.resize((size_t(1) << 20) + 1);
    Canvas canvas(16, 16);
    Renderer renderer;
    renderer.begin(canvas.surface(), {});
    renderer.drawShape(huge, kTwipsToPixels, {}, nullptr);
    // A stroke thousands of pixels wide with round joins stays bounded.
    swf::LineStyle wide = solidLine(3000, kBlue);
    renderer.drawShape(strokedPath({{0, 0}, {5, 90}, {9, 0}, {14, 90}}, wide), Matrix::scale(3, 3),
                       {}, nullptr);
    renderer.finish();
    EXPECT_EQ(renderer.stats().shapesSkipped, 1u);
    EXPECT_EQ(renderer.stats().shapesDrawn, 1u);
    EXPECT_EQ(canvas.at(8, 8), kBlue);

    // Random edges anywhere in the coordinate range, with stray style
    // indices and extreme matrices, render without faults.
    std::mt19937 random(9);
    std::uniform_int_distribution<int32_t> anywhere(INT32_MIN, INT32_MAX);
    const Matrix matrices[] = {kTwipsToPixels,
                               Matrix::scale(1e-9, 1e-9),
                               Matrix::scale(1e6, -1e6),
                               {1e-3, 1e3, -1e3, 1e-3, 5, 5}};
    renderer.begin(canvas.surface(), {{0, 0, 0, 255}, 2, true});
    for (int i = 0; i < 200; ++i) {
        swf::Shape shape = randomShape(random);
        shape.groups[0].lines[0].join = swf::JoinStyle(random() % 3);
        for (swf::Edge& edge : shape.groups[0].edges) {
            if (random() % 3 == 0)
                edge.x1 = anywhere(random), edge.cy = anywhere(random);
            edge.fill0 = random() % 5;
            edge.line = random() % 3;
        }
        renderer.drawShape(shape, matrices[i % 4], {}, nullptr);
    }
    renderer.finish();

    // Nothing to draw on: calls are ignored.
    renderer.begin(Surface{}, {});
    renderer.drawShape(swf::Shape{}, kTwipsToPixels, {}, nullptr);
    renderer.finish();
}

} // namespace
} // namespace zf::raster
