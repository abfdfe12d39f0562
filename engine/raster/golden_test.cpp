// Small hand-built scenes compared with reviewed PNGs under
// tests/golden/raster. A missing golden is written when ZF_UPDATE_GOLDENS is
// set; on a mismatch the actual image and a difference image are written to
// the build folder.
#include "raster/png_test_util_p.h"
#include "raster/test_shapes_p.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numbers>

namespace zf::raster {
namespace {

using namespace testing;

constexpr int kTolerance = 3; // per channel

// A circle of eight quadratic curves, fill on the right (clockwise).
void addCircle(swf::ShapeGroup& group, double cx, double cy, double r, uint32_t fill,
               uint32_t line = 0)
{
    const double step = std::numbers::pi / 4;
    const double reach = r / std::cos(step / 2);
    for (int i = 0; i < 8; ++i) {
        double a0 = i * step, a1 = (i + 1) * step, am = (i + 0.5) * step;
        swf::Edge e;
        e.x0 = int32_t(std::lround((cx + r * std::cos(a0)) * 20));
        e.y0 = int32_t(std::lround((cy + r * std::sin(a0)) * 20));
        e.x1 = int32_t(std::lround((cx + r * std::cos(a1)) * 20));
        e.y1 = int32_t(std::lround((cy + r * std::sin(a1)) * 20));
        if (i == 7) {
            e.x1 = group.edges[group.edges.size() - 7].x0;
            e.y1 = group.edges[group.edges.size() - 7].y0;
        }
        e.cx = int32_t(std::lround((cx + reach * std::cos(am)) * 20));
        e.cy = int32_t(std::lround((cy + reach * std::sin(am)) * 20));
        e.curved = true;
        e.fill1 = fill;
        e.line = line;
        group.edges.push_back(e);
    }
}

swf::FillStyle gradient(swf::FillType type, Matrix m, std::vector<swf::GradientStop> stops,
                        swf::SpreadMode spread = swf::SpreadMode::Pad)
{
    swf::FillStyle fill;
    fill.type = type;
    fill.matrix = m;
    fill.gradient.stops = std::move(stops);
    fill.gradient.spread = spread;
    return fill;
}

Matrix square(double cx, double cy, double halfPixels, double rotation = 0)
{
    double s = halfPixels * 20 / 16384;
    return {s * std::cos(rotation),
            s * std::sin(rotation),
            -s * std::sin(rotation),
            s * std::cos(rotation),
            cx * 20,
            cy * 20};
}

void drawShapes(Renderer& renderer, const BitmapSource*)
{
    swf::Shape shape;
    shape.groups.resize(2);
    swf::ShapeGroup& g = shape.groups[0];
    g.fills = {
        gradient(swf::FillType::RadialGradient, square(30, 30, 24),
                 {{0, {255, 255, 200, 255}}, {180, {240, 120, 0, 255}}, {255, {120, 30, 0, 255}}}),
        gradient(swf::FillType::LinearGradient, square(90, 30, 10, 0.5),
                 {{0, {20, 60, 200, 255}}, {255, {200, 230, 255, 255}}}, swf::SpreadMode::Reflect),
        gradient(swf::FillType::FocalGradient, square(30, 72, 20),
                 {{0, {255, 255, 255, 255}}, {255, {0, 120, 60, 255}}})};
    g.fills[2].gradient.focalPoint = -0.7;
    addCircle(g, 30, 30, 24, 1);
    addRect(g, 62, 6, 122, 54, 2);
    addCircle(g, 30, 72, 20, 3);
    // A five-pointed star: even-odd leaves its centre empty, non-zero fills it.
    swf::ShapeGroup& star = shape.groups[1];
    star.fills = {solidFill({200, 0, 80, 160})};
    for (int i = 0; i < 5; ++i) {
        double a0 = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
        double a1 = a0 + 4 * std::numbers::pi / 5;
        addPolygon(star,
                   {{(92 + 22 * std::cos(a0)) * 20, (72 + 22 * std::sin(a0)) * 20},
                    {(92 + 22 * std::cos(a1)) * 20, (72 + 22 * std::sin(a1)) * 20}},
                   1);
        star.edges.pop_back(); // keep only the star's own side
    }
    renderer.drawShape(shape, kTwipsToPixels, {}, nullptr);
}

void drawStrokes(Renderer& renderer, const BitmapSource*)
{
    struct Sample {
        swf::CapStyle cap;
        swf::JoinStyle join;
        double y;
    };
    const Sample samples[] = {{swf::CapStyle::Round, swf::JoinStyle::Round, 12},
                              {swf::CapStyle::None, swf::JoinStyle::Bevel, 36},
                              {swf::CapStyle::Square, swf::JoinStyle::Miter, 60}};
    for (const Sample& s : samples) {
        swf::Shape shape;
        shape.groups.resize(1);
        swf::LineStyle line = solidLine(7, {40, 40, 120, 255});
        line.startCap = line.endCap = s.cap;
        line.join = s.join;
        shape.groups[0].lines = {line};
        addPolygon(shape.groups[0], {{200, s.y * 20}, {900, (s.y + 14) * 20}, {1500, s.y * 20}}, 0,
                   1);
        shape.groups[0].edges.pop_back(); // open zigzag
        renderer.drawShape(shape, kTwipsToPixels, {}, nullptr);
    }
    swf::Shape curves;
    curves.groups.resize(1);
    swf::LineStyle gradientLine = solidLine(5, {});
    gradientLine.hasFill = true;
    gradientLine.fill = gradient(swf::FillType::LinearGradient, square(104, 40, 24, 1.2),
                                 {{0, {230, 0, 0, 255}}, {255, {0, 160, 230, 255}}});
    curves.groups[0].lines = {gradientLine, solidLine(0, {0, 0, 0, 255})};
    addCircle(curves.groups[0], 104, 40, 16, 0, 1);
    for (int i = 0; i < 5; ++i)
        addPolygon(curves.groups[0], {{1700.0 + i * 90, 1500}, {2500.0, 1700.0 + i * 60}}, 0, 2);
    renderer.drawShape(curves, kTwipsToPixels, {}, nullptr);
}

void drawBitmapsAndMasks(Renderer& renderer, const BitmapSource* bitmaps)
{
    swf::Shape tiles;
    tiles.groups.resize(1);
    swf::FillStyle smooth;
    smooth.type = swf::FillType::RepeatingBitmap;
    smooth.bitmapId = 1;
    smooth.matrix = {
        60 * std::cos(0.3), 60 * std::sin(0.3), -60 * std::sin(0.3), 60 * std::cos(0.3), 0, 0};
    swf::FillStyle hard = smooth;
    hard.type = swf::FillType::ClippedBitmapHard;
    hard.matrix = Matrix{100, 0, 0, 100, 50 * 20, 4 * 20};
    tiles.groups[0].fills = {smooth, hard};
    addRect(tiles.groups[0], 2, 2, 46, 46, 1);
    addRect(tiles.groups[0], 50, 2, 94, 46, 2);
    renderer.drawShape(tiles, kTwipsToPixels, {}, bitmaps);

    swf::Shape mask;
    mask.groups.resize(1);
    mask.groups[0].fills = {solidFill({0, 0, 0, 255})};
    addCircle(mask.groups[0], 48, 70, 22, 1);
    swf::Shape stripes;
    stripes.groups.resize(1);
    stripes.groups[0].fills = {gradient(swf::FillType::LinearGradient, square(48, 70, 6, 0.8),
                                        {{0, {255, 200, 0, 255}}, {255, {120, 0, 160, 255}}},
                                        swf::SpreadMode::Repeat)};
    addRect(stripes.groups[0], 0, 48, 96, 96, 1);
    renderer.beginMask();
    renderer.drawShape(mask, kTwipsToPixels, {}, nullptr);
    renderer.endMask();
    renderer.drawShape(stripes, kTwipsToPixels, {256, 256, 256, 200, 0, 0, 0, 0}, nullptr);
    renderer.popMask();
}

struct GoldenCase {
    const char* name;
    int width;
    int height;
    std::function<void(Renderer&, const BitmapSource*)> draw;
};

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, MatchesReviewedImage)
{
    const GoldenCase& c = GetParam();
    MapBitmaps bitmaps;
    Bitmap checker{4, 4, {}};
    for (int i = 0; i < 16; ++i) {
        bool dark = (i % 4 + i / 4) % 2;
        uint8_t v = dark ? 40 : 230;
        uint8_t a = i == 5 ? 128 : 255; // one half-transparent texel, premultiplied
        checker.pixels.insert(checker.pixels.end(),
                              {uint8_t(v * a / 255), uint8_t((dark ? 90 : 200) * a / 255),
                               uint8_t((i * 15) * a / 255), a});
    }
    bitmaps.bitmaps[1] = checker;
    Canvas canvas(c.width, c.height);
    Renderer renderer;
    renderer.begin(canvas.surface(), {{255, 255, 255, 255}, 2, true});
    c.draw(renderer, &bitmaps);
    renderer.finish();

    const std::string golden = std::string(ZF_RASTER_GOLDEN_DIR) + "/" + c.name + ".png";
    Image actual{c.width, c.height, canvas.pixels};
    Image expected;
    if (!readPng(golden, expected)) {
        if (std::getenv("ZF_UPDATE_GOLDENS")) {
            std::filesystem::create_directories(ZF_RASTER_GOLDEN_DIR);
            ASSERT_TRUE(writePng(golden, actual));
            GTEST_SKIP() << "wrote " << golden << ": review it";
        }
        FAIL() << "missing golden " << golden;
    }
    ASSERT_EQ(expected.width, c.width);
    ASSERT_EQ(expected.height, c.height);
    Image difference{c.width, c.height, std::vector<uint8_t>(actual.rgba.size(), 255)};
    int worst = 0;
    for (size_t i = 0; i < actual.rgba.size(); ++i) {
        int d = std::abs(int(actual.rgba[i]) - int(expected.rgba[i]));
        worst = std::max(worst, d);
        if (i % 4 != 3)
            difference.rgba[i] = uint8_t(255 - std::min(255, d * 8));
    }
    if (worst > kTolerance) {
        std::filesystem::create_directories(ZF_RASTER_OUTPUT_DIR);
        const std::string base = std::string(ZF_RASTER_OUTPUT_DIR) + "/" + c.name;
        writePng(base + ".actual.png", actual);
        writePng(base + ".difference.png", difference);
        FAIL() << c.name << ": channel difference " << worst << ", see " << base << ".*.png";
    }
}

INSTANTIATE_TEST_SUITE_P(Raster, GoldenTest,
                         ::testing::Values(GoldenCase{"shapes", 128, 96, drawShapes},
                                           GoldenCase{"strokes", 128, 96, drawStrokes},
                                           GoldenCase{"bitmaps_masks", 96, 96,
                                                      drawBitmapsAndMasks}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zf::raster
