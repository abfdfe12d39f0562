// Paints through the whole renderer: gradient colours at chosen points,
// spread modes, bitmap sampling and colour transforms.
#include "raster/paint_p.h"
#include "raster/test_shapes_p.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zf::raster {
namespace {

using namespace testing;

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

void expectColor(Rgba actual, Rgba expected, int tolerance, const std::string& where)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance) << where;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << where;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << where;
    EXPECT_NEAR(actual.a, expected.a, tolerance) << where;
}

Rgba rampColor(Rgba a, Rgba b, double t)
{
    double index = std::round(std::clamp(t, 0.0, 1.0) * 255) / 255;
    auto mix = [&](uint8_t p, uint8_t q) { return uint8_t(std::lround(p + (q - p) * index)); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), mix(a.a, b.a)};
}

swf::FillStyle gradientFill(swf::FillType type, Matrix matrix, swf::SpreadMode spread = {})
{
    swf::FillStyle fill;
    fill.type = type;
    fill.matrix = matrix;
    fill.gradient.spread = spread;
    fill.gradient.stops = {{0, kRed}, {255, kBlue}};
    return fill;
}

// A gradient whose square spans pixels [from, to) horizontally.
Matrix gradientAcross(double from, double to, double centreY = 0)
{
    double scale = (to - from) * 20 / 32768;
    return {scale, 0, 0, scale, (from + to) / 2 * 20, centreY * 20};
}

TEST(PaintTest, LinearGradientFollowsTheRamp)
{
    swf::Shape shape;
    shape.groups.resize(1);
    shape.groups[0].fills = {gradientFill(swf::FillType::LinearGradient, gradientAcross(0, 64))};
    addRect(shape.groups[0], 0, 0, 64, 4, 1);
    Canvas canvas = renderShape(shape, 64, 4);
    for (int x : {0, 13, 31, 32, 50, 63})
        expectColor(canvas.at(x, 2), rampColor(kRed, kBlue, (x + 0.5) / 64), 2, std::to_string(x));
}

TEST(PaintTest, SpreadModesBeyondTheGradientSquare)
{
    struct Case {
        swf::SpreadMode spread;
        int x;
        double t;
    };
    // The square covers pixels 30..60: t = (x + 0.5 - 30) / 30.
    const Case cases[] = {
        {swf::SpreadMode::Pad, 10, 0},          {swf::SpreadMode::Pad, 80, 1},
        {swf::SpreadMode::Repeat, 75, 0.5167},  {swf::SpreadMode::Repeat, 10, 0.35},
        {swf::SpreadMode::Reflect, 75, 0.4833}, {swf::SpreadMode::Reflect, 10, 0.65},
        {swf::SpreadMode::Reflect, 89, 0.0167},
    };
    for (const Case& c : cases) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {
            gradientFill(swf::FillType::LinearGradient, gradientAcross(30, 60), c.spread)};
        addRect(shape.groups[0], 0, 0, 90, 2, 1);
        Canvas canvas = renderShape(shape, 90, 2);
        expectColor(canvas.at(c.x, 1), rampColor(kRed, kBlue, c.t), 3,
                    "spread " + std::to_string(int(c.spread)) + " x " + std::to_string(c.x));
    }
}

TEST(PaintTest, RadialAndFocalGradients)
{
    swf::Shape shape;
    shape.groups.resize(1);
    swf::FillStyle radial = gradientFill(swf::FillType::RadialGradient, gradientAcross(0, 64, 32));
    swf::FillStyle focal = gradientFill(swf::FillType::FocalGradient, gradientAcross(0, 64, 32));
    focal.gradient.focalPoint = 0.5;
    for (const swf::FillStyle& fill : {radial, focal}) {
        shape.groups[0] = {};
        shape.groups[0].fills = {fill};
        addRect(shape.groups[0], 0, 0, 64, 64, 1);
        Canvas canvas = renderShape(shape, 64, 64);
        bool isFocal = fill.type == swf::FillType::FocalGradient;
        // Radial: t = distance from the centre (32, 32) / 32 px. Focal: t = 0
        // at the focal point (48, 32), 1 on the circle, 1/3 at the centre.
        expectColor(canvas.at(47, 31), rampColor(kRed, kBlue, isFocal ? 0.02 : 0.4846),
                    isFocal ? 8 : 3, "inner");
        expectColor(canvas.at(63, 31), rampColor(kRed, kBlue, isFocal ? 0.969 : 0.984), 3, "rim");
        expectColor(canvas.at(31, 31), rampColor(kRed, kBlue, isFocal ? 0.34 : 0.022), 3, "centre");
    }
}

TEST(PaintTest, GradientStopsUnsortedAndLinearLight)
{
    swf::Shape shape;
    shape.groups.resize(1);
    swf::FillStyle fill = gradientFill(swf::FillType::LinearGradient, gradientAcross(0, 64));
    // Stops stay in file order: each neighbouring pair writes the ramp up to
    // its second ratio, a pair going backwards writes a single entry, and the
    // rest takes the last listed colour (here yellow, although blue has the
    // highest ratio).
    const Rgba cyan{0, 255, 255, 255}, magenta{255, 0, 255, 255}, yellow{255, 255, 0, 255};
    fill.gradient.stops = {{31, kRed},     {80, {0, 255, 0, 255}}, {50, cyan},
                           {100, magenta}, {200, kBlue},           {150, yellow}};
    shape.groups[0].fills = {fill};
    addRect(shape.groups[0], 0, 0, 64, 2, 1);
    Canvas canvas = renderShape(shape, 64, 2);
    expectColor(canvas.at(2, 1), kRed, 0, "before the first stop");
    expectColor(canvas.at(22, 1), rampColor(cyan, magenta, 0.8), 8, "cyan to magenta");
    expectColor(canvas.at(55, 1), yellow, 0, "past every pair");

    fill.gradient.stops = {{0, {0, 0, 0, 255}}, {255, {255, 255, 255, 255}}};
    fill.gradient.interpolation = swf::InterpolationMode::LinearRgb;
    shape.groups[0].fills = {fill};
    canvas = renderShape(shape, 64, 2);
    // Half way in linear light is sRGB 188, not 128.
    EXPECT_NEAR(canvas.at(31, 1).g, 186, 4);
}

// Ramp entries built straight from the stops, without shading.
TEST(PaintTest, RampEntriesForRepeatedAndBackwardRatios)
{
    const Rgba green{0, 255, 0, 255}, black{0, 0, 0, 255}, white{255, 255, 255, 255};
    auto premultiplied = [](Rgba c) { return premultiply(c); };
    auto between = [](Rgba a, Rgba b, int along, int span) {
        auto mix = [&](uint8_t p, uint8_t q) {
            return uint8_t((p * (span - along) + q * along + span / 2) / span);
        };
        return Rgba{mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b), 255};
    };
    struct Expect {
        int index;
        Rgba color;
    };
    struct Case {
        const char* name;
        std::vector<swf::GradientStop> stops;
        std::vector<Expect> expected;
    };
    const Case cases[] = {
        // Stops sharing a ratio each take one entry from that ratio on; the
        // last of them starts the next stretch, placed by its own ratio.
        {"repeated",
         {{6, kRed},
          {6, green},
          {6, kBlue},
          {6, black},
          {150, kRed},
          {150, green},
          {150, kBlue},
          {250, white},
          {250, black}},
         {{0, kRed},
          {6, kRed},
          {7, green},
          {8, kBlue},
          {9, between(black, kRed, 3, 144)},
          {149, between(black, kRed, 143, 144)},
          {150, kRed},
          {151, green},
          {152, between(kBlue, white, 2, 100)},
          {250, white},
          {251, black},
          {255, black}}},
        // A ratio going backwards claims the next entry with the colour it
        // follows; the pair after it is placed by the real ratios.
        {"backwards",
         {{100, kRed}, {50, green}, {200, kBlue}},
         {{99, kRed}, {100, kRed}, {101, between(green, kBlue, 51, 150)}, {200, kBlue}}},
        {"one stop", {{128, green}}, {{0, green}, {255, green}}},
        {"ending early", {{0, kRed}, {10, kBlue}}, {{5, between(kRed, kBlue, 5, 10)}, {11, kBlue}}},
    };
    for (const Case& c : cases) {
        swf::FillStyle fill = gradientFill(swf::FillType::LinearGradient, {});
        fill.gradient.stops = c.stops;
        std::vector<uint32_t> ramps;
        makeFillPaint(fill, kTwipsToPixels, {}, nullptr, true, ramps);
        ASSERT_EQ(ramps.size(), 256u) << c.name;
        for (const Expect& e : c.expected)
            EXPECT_EQ(ramps[size_t(e.index)], premultiplied(e.color))
                << c.name << " entry " << e.index;
    }
}

TEST(PaintTest, BitmapSamplingAndWrapping)
{
    MapBitmaps bitmaps;
    Bitmap& bitmap = bitmaps.bitmaps[7];
    bitmap.width = bitmap.height = 2;
    bitmap.pixels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
    struct Case {
        swf::FillType type;
        int x, y;
        Rgba expected;
    };
    constexpr Rgba green{0, 255, 0, 255};
    // Texels are 9 pixels wide; texel centres fall on pixel centres 4 and 13.
    const Case cases[] = {
        {swf::FillType::ClippedBitmapHard, 4, 4, kRed},
        {swf::FillType::ClippedBitmapHard, 13, 4, green},
        {swf::FillType::ClippedBitmapHard, 8, 13, kBlue},
        {swf::FillType::ClippedBitmap, 13, 13, {255, 255, 255, 255}},
        {swf::FillType::ClippedBitmap, 4, 4, kRed},
        {swf::FillType::ClippedBitmap, 9, 4, {113, 141, 0, 255}},
        {swf::FillType::ClippedBitmapHard, 24, 4, green}, // edge pixels extend
        {swf::FillType::RepeatingBitmapHard, 22, 4, kRed},
        {swf::FillType::RepeatingBitmap, 22, 4, kRed},
    };
    for (const Case& c : cases) {
        swf::Shape shape;
        shape.groups.resize(1);
        swf::FillStyle fill;
        fill.type = c.type;
        fill.bitmapId = 7;
        fill.matrix = Matrix::scale(180, 180);
        shape.groups[0].fills = {fill};
        addRect(shape.groups[0], 0, 0, 27, 18, 1);
        Canvas canvas = renderShape(shape, 27, 18, kTwipsToPixels, {}, &bitmaps);
        expectColor(canvas.at(c.x, c.y), c.expected, 2,
                    "type " + std::to_string(int(c.type)) + " at " + std::to_string(c.x));
    }
}

TEST(PaintTest, ColorTransformsApplyToEveryPaint)
{
    MapBitmaps bitmaps;
    bitmaps.bitmaps[1] = Bitmap{1, 1, {255, 0, 0, 255}};
    swf::FillStyle bitmapFill;
    bitmapFill.type = swf::FillType::RepeatingBitmapHard;
    bitmapFill.bitmapId = 1;
    swf::FillStyle gradient = gradientFill(swf::FillType::LinearGradient, gradientAcross(0, 4));
    gradient.gradient.stops = {{0, kRed}, {255, kRed}};
    struct Case {
        const char* name;
        swf::FillStyle fill;
        ColorTransform cx;
        Rgba expected; // over white
    };
    const ColorTransform halfAlpha{256, 256, 256, 128, 0, 0, 0, 0};
    const ColorTransform redToGreen{0, 256, 256, 256, 0, 255, 0, 0};
    const Case cases[] = {
        {"solid identity", solidFill({200, 100, 50, 255}), {}, {200, 100, 50, 255}},
        {"solid half alpha", solidFill(kRed), halfAlpha, {255, 127, 127, 255}},
        {"solid mult and add",
         solidFill({200, 100, 50, 255}),
         {128, 256, 256, 256, 0, 20, 0, 0},
         {100, 120, 50, 255}},
        {"gradient", gradient, redToGreen, {0, 255, 0, 255}},
        {"bitmap alpha only", bitmapFill, halfAlpha, {255, 127, 127, 255}},
        {"bitmap general", bitmapFill, redToGreen, {0, 255, 0, 255}},
    };
    for (const Case& c : cases) {
        swf::Shape shape;
        shape.groups.resize(1);
        shape.groups[0].fills = {c.fill};
        addRect(shape.groups[0], 0, 0, 4, 4, 1);
        Canvas canvas = renderShape(shape, 4, 4, kTwipsToPixels, c.cx, &bitmaps);
        expectColor(canvas.at(2, 2), c.expected, 1, c.name);
    }
}

TEST(PaintTest, CompositingArithmetic)
{
    EXPECT_EQ(scalePixel(0xFFFFFFFFu, 255), 0xFFFFFFFFu);
    EXPECT_EQ(scalePixel(0xFFFFFFFFu, 0), 0u);
    EXPECT_EQ(scalePixel(packPixel(255, 128, 2, 255), 128), packPixel(128, 64, 1, 128));
    EXPECT_EQ(premultiply({255, 255, 255, 128}), packPixel(128, 128, 128, 128));
    EXPECT_EQ(blendOver(packPixel(0, 0, 255, 255), packPixel(128, 0, 0, 128)),
              packPixel(128, 0, 127, 255));
    for (int v : {0, 1, 100, 188, 255})
        EXPECT_EQ(linearToSrgb(srgbToLinear(uint8_t(v))), v);
}

} // namespace
} // namespace zf::raster

namespace zf::raster {
namespace {

// The renderer shades each row span by span from the row's first touched
// pixel; the pieces must equal the row shaded in one go, or pixels would
// depend on where a shape's edges happen to fall. Pad linear gradients take
// a run-splitting fast path whose index must equal the per-pixel clamp.
TEST(PaintTest, ShadingInPiecesMatchesOneSpan)
{
    MapBitmaps bitmaps;
    Bitmap& bitmap = bitmaps.bitmaps[3];
    bitmap.width = 3;
    bitmap.height = 2;
    for (int i = 0; i < 6; ++i)
        bitmap.pixels.insert(bitmap.pixels.end(),
                             {uint8_t(i * 40), 90, uint8_t(200 - i * 30), 255});
    swf::FillStyle bitmapFill;
    bitmapFill.type = swf::FillType::RepeatingBitmap;
    bitmapFill.bitmapId = 3;
    bitmapFill.matrix = {13, 5, -4, 11, 0, 0};
    const Matrix toPixels{0.05, 0.01, -0.02, 0.04, 3, 1};
    const double small = 40 * 20 / 32768.0, large = 3000 * 20 / 32768.0;
    struct Case {
        const char* name;
        swf::FillStyle fill;
    };
    const Case cases[] = {
        {"pad narrow", gradientFill(swf::FillType::LinearGradient, {small, 0, 0, small, 900, 0})},
        {"pad reversed", gradientFill(swf::FillType::LinearGradient, {-small, 0, 0, small, 0, 0})},
        {"pad wide", gradientFill(swf::FillType::LinearGradient, {large, 0, 0, large, 0, 0})},
        {"pad vertical", gradientFill(swf::FillType::LinearGradient, {0, small, -small, 0, 0, 0})},
        {"repeat", gradientFill(swf::FillType::LinearGradient, {small, 0, 0, small, 0, 0},
                                swf::SpreadMode::Repeat)},
        // Pad radials shade four pixels at a time plus a remainder; odd
        // piece lengths make every split between the two happen.
        {"radial pad", gradientFill(swf::FillType::RadialGradient, {small, 0, 0, small, 500, 100})},
        {"radial pad rotated",
         gradientFill(swf::FillType::RadialGradient, {small, small, -small, small, 700, -300})},
        {"radial reflect", gradientFill(swf::FillType::RadialGradient,
                                        {small, 0, 0, small, 500, 100}, swf::SpreadMode::Reflect)},
        {"focal", gradientFill(swf::FillType::FocalGradient, {small, 0, 0, small, 500, 100})},
        {"bitmap", bitmapFill},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> ramps;
        const Paint paint = makeFillPaint(c.fill, toPixels, {}, &bitmaps, true, ramps);
        for (int y : {0, 7}) {
            std::vector<uint32_t> whole(300), pieces(300);
            shadeSpan(paint, ramps.data(), -20, y, 300, whole.data());
            for (int start = 0; start < 300;) {
                const int length = std::min(300 - start, 1 + start % 37);
                shadeSpan(paint, ramps.data(), -20, y, length, pieces.data() + start, start);
                start += length;
            }
            EXPECT_EQ(whole, pieces) << c.name;
            if (c.fill.type != swf::FillType::LinearGradient ||
                c.fill.gradient.spread != swf::SpreadMode::Pad)
                continue;
            // Fixed-point positions stepped from the first pixel, clamped
            // to the ramp pixel by pixel.
            const Matrix& m = paint.inverse;
            const double u = m.a * -19.5 + m.c * (y + 0.5) + m.tx;
            for (int x = -20; x < 280; x += 7) {
                const int64_t t = int64_t(u * (1 << 24)) + (x + 20) * int64_t(m.a * (1 << 24));
                const int index = int((std::clamp<int64_t>(t, 0, 1 << 24) * 255 + (1 << 23)) >> 24);
                EXPECT_EQ(whole[size_t(x + 20)], ramps[size_t(index)]) << c.name << " x " << x;
            }
        }
    }
}

// The rows of a horizontal gradient repeat, and shading reuses the last one
// it made. A ramp rebuilt with other colours at the same address (the ramp
// pool of the next frame) and a longer row than the one kept must still
// come out as freshly shaded.
TEST(PaintTest, RepeatedGradientRowsFollowRampChanges)
{
    auto makeRamp = [](uint32_t seed) {
        std::vector<uint32_t> ramp(256);
        for (uint32_t i = 0; i < 256; ++i)
            ramp[i] = packPixel(i, seed, 255 - i, 255);
        return ramp;
    };
    Paint paint;
    paint.kind = Paint::Kind::Linear;
    paint.inverse = Matrix{1 / 70.0, 0, 0, 1, 0.1, 0};
    // Reference rows, shaded from ramps at other addresses.
    const std::vector<uint32_t> firstColours = makeRamp(0), laterColours = makeRamp(77);
    std::vector<uint32_t> expectedFirst(120), expectedLater(120), out(120);
    shadeSpan(paint, firstColours.data(), -5, 0, 120, expectedFirst.data());
    shadeSpan(paint, laterColours.data(), -5, 0, 120, expectedLater.data());
    auto prefix = [](const std::vector<uint32_t>& row, int count) {
        return std::vector<uint32_t>(row.begin(), row.begin() + count);
    };
    std::vector<uint32_t> ramp = firstColours;
    for (int y = 0; y < 4; ++y) {
        shadeSpan(paint, ramp.data(), -5, y, 90, out.data());
        EXPECT_EQ(prefix(out, 90), prefix(expectedFirst, 90)) << "row " << y;
    }
    std::copy(laterColours.begin(), laterColours.end(), ramp.begin()); // same storage
    for (int y = 0; y < 3; ++y) {
        shadeSpan(paint, ramp.data(), -5, y, 90, out.data());
        EXPECT_EQ(prefix(out, 90), prefix(expectedLater, 90)) << "rebuilt ramp, row " << y;
    }
    shadeSpan(paint, ramp.data(), -5, 3, 120, out.data());
    EXPECT_EQ(out, expectedLater) << "longer row";
}

} // namespace
} // namespace zf::raster
