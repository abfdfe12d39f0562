#include "raster/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace zf::raster {
namespace {

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kClear{0, 0, 0, 0};

Bitmap blank(int width, int height)
{
    return Bitmap{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 4, 0)};
}

void put(Bitmap& image, int x, int y, Rgba c)
{
    uint8_t* p = &image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}

Rgba at(const Bitmap& image, int x, int y)
{
    const uint8_t* p = &image.pixels[(size_t(y) * size_t(image.width) + size_t(x)) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// An opaque red square of `size` pixels at (x, y) in a clear image.
Bitmap square(int width, int height, int x, int y, int size)
{
    Bitmap image = blank(width, height);
    for (int j = y; j < y + size; ++j)
        for (int i = x; i < x + size; ++i)
            put(image, i, j, kRed);
    return image;
}

std::string str(Rgba c)
{
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
           std::to_string(c.a);
}

void expectNear(Rgba actual, Rgba expected, int tolerance, const std::string& where)
{
    bool near = std::abs(actual.r - expected.r) <= tolerance &&
                std::abs(actual.g - expected.g) <= tolerance &&
                std::abs(actual.b - expected.b) <= tolerance &&
                std::abs(actual.a - expected.a) <= tolerance;
    EXPECT_TRUE(near) << where << ": got " << str(actual) << ", expected " << str(expected);
}

TEST(FilterBlur, BoxWeightsFollowTheWidth)
{
    struct Case {
        double width;
        std::vector<double> weights; // centre first, then each neighbour outwards
    };
    const Case cases[] = {
        {0, {1}},
        {1, {1}},
        {2, {0.5, 0.25}},
        {3, {1 / 3.0, 1 / 3.0}},
        {4, {0.25, 0.25, 0.125}},
        {5, {0.2, 0.2, 0.2}},
    };
    for (const Case& c : cases) {
        Bitmap image = blank(15, 1);
        put(image, 7, 0, kBlack);
        boxBlur(image, c.width, 0, 1);
        for (int d = 0; d <= 7; ++d) {
            const double w = d < int(c.weights.size()) ? c.weights[size_t(d)] : 0;
            for (int x : {7 - d, 7 + d})
                EXPECT_NEAR(at(image, x, 0).a, w * 255, 1) << "width " << c.width << " at " << x;
        }
    }
}

TEST(FilterBlur, PassesSpreadFurtherAndKeepColoursPremultiplied)
{
    Bitmap image = blank(21, 21);
    put(image, 10, 10, Rgba{200, 100, 50, 200});
    boxBlur(image, 3, 3, 3);
    // Three passes of a 3-pixel box reach three pixels, not four.
    EXPECT_GT(at(image, 13, 10).a, 0);
    EXPECT_EQ(at(image, 14, 10).a, 0);
    EXPECT_EQ(at(image, 10, 14).a, 0);
    // Symmetric, and the total is kept.
    EXPECT_EQ(at(image, 7, 10).a, at(image, 13, 10).a);
    EXPECT_EQ(at(image, 10, 8).a, at(image, 12, 10).a);
    int total = 0;
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 21; ++x) {
            Rgba c = at(image, x, y);
            total += c.a;
            EXPECT_LE(c.r, c.a);
        }
    }
    EXPECT_NEAR(total, 200, 30);
}

TEST(FilterShadow, PlacementOptions)
{
    // A 3x3 red square at (3,3); a hard black shadow one pixel to the right.
    struct Case {
        const char* name;
        bool inner, knockout, compositeSource;
        Rgba leftEdge, middle, rightEdge, outsideRight, outsideLeft;
    };
    const Case cases[] = {
        {"outer", false, false, true, kRed, kRed, kRed, kBlack, kClear},
        {"outer knockout", false, true, true, kClear, kClear, kClear, kBlack, kClear},
        {"outer hidden object", false, false, false, kClear, kBlack, kBlack, kBlack, kClear},
        {"inner", true, false, true, kBlack, kRed, kRed, kClear, kClear},
        {"inner knockout", true, true, true, kBlack, kClear, kClear, kClear, kClear},
    };
    for (const Case& c : cases) {
        Bitmap image = square(9, 9, 3, 3, 3);
        swf::DropShadowFilter f;
        f.color = kBlack;
        f.distance = 1;
        f.strength = 1;
        f.inner = c.inner;
        f.knockout = c.knockout;
        f.compositeSource = c.compositeSource;
        applyFilter(image, f);
        expectNear(at(image, 3, 4), c.leftEdge, 1, std::string(c.name) + " left edge");
        expectNear(at(image, 4, 4), c.middle, 1, std::string(c.name) + " middle");
        expectNear(at(image, 5, 4), c.rightEdge, 1, std::string(c.name) + " right edge");
        expectNear(at(image, 6, 4), c.outsideRight, 1, std::string(c.name) + " outside right");
        expectNear(at(image, 2, 4), c.outsideLeft, 1, std::string(c.name) + " outside left");
    }
}

TEST(FilterShadow, AngleStrengthAndColourAlpha)
{
    // Angles in radians, y down: a quarter turn moves the shadow down.
    Bitmap image = square(9, 9, 3, 3, 2);
    swf::DropShadowFilter f;
    f.color = Rgba{0, 0, 255, 128};
    f.angle = std::numbers::pi / 2;
    f.distance = 2;
    f.strength = 1;
    f.compositeSource = true;
    applyFilter(image, f);
    expectNear(at(image, 3, 6), Rgba{0, 0, 128, 128}, 1, "shadow below");
    expectNear(at(image, 5, 4), kClear, 0, "nothing to the right");

    // A blurred shadow is faint; strength multiplies its alpha up to opaque.
    for (double strength : {1.0, 4.0}) {
        Bitmap glowImage = square(9, 9, 4, 4, 1);
        swf::GlowFilter glow;
        glow.color = kBlack;
        glow.blurX = glow.blurY = 3;
        glow.strength = strength;
        glow.compositeSource = true;
        applyFilter(glowImage, glow);
        const int expected = strength == 1 ? 255 / 9 : 4 * 255 / 9;
        EXPECT_NEAR(at(glowImage, 3, 3).a, expected, 2) << "strength " << strength;
        expectNear(at(glowImage, 4, 4), kRed, 0, "the source stays on top");
    }
}

TEST(FilterBevel, LightAndShadeSidesByType)
{
    // Light from the top left (45 degrees): highlight on the edges facing
    // it, shade on the others.
    const Rgba hi = kWhite, lo = kBlack;
    struct Case {
        const char* name;
        bool inner, onTop, knockout;
        Rgba innerTopLeft, innerBottomRight, outerTopLeft, outerBottomRight, centre;
    };
    const Case cases[] = {
        {"inner", true, false, false, hi, lo, kClear, kClear, kRed},
        {"outer", false, false, false, kRed, kRed, hi, lo, kRed},
        {"full", false, true, false, hi, lo, hi, lo, kRed},
        {"inner knockout", true, false, true, hi, lo, kClear, kClear, kClear},
    };
    for (const Case& c : cases) {
        Bitmap image = square(12, 12, 3, 3, 6);
        swf::BevelFilter f;
        f.highlightColor = hi;
        f.shadowColor = lo;
        f.angle = std::numbers::pi / 4;
        f.distance = 1;
        f.strength = 1;
        f.inner = c.inner;
        f.onTop = c.onTop;
        f.knockout = c.knockout;
        f.compositeSource = true;
        applyFilter(image, f);
        const std::string n = c.name;
        expectNear(at(image, 3, 3), c.innerTopLeft, 1, n + " inner top left");
        expectNear(at(image, 8, 8), c.innerBottomRight, 1, n + " inner bottom right");
        expectNear(at(image, 2, 2), c.outerTopLeft, 1, n + " outer top left");
        expectNear(at(image, 9, 9), c.outerBottomRight, 1, n + " outer bottom right");
        expectNear(at(image, 5, 5), c.centre, 1, n + " centre");
    }
}

TEST(FilterGradient, GlowAndBevelLookUpTheirGradients)
{
    swf::GradientGlowFilter glow;
    glow.colors = {Rgba{0, 255, 0, 0}, Rgba{0, 255, 0, 255}};
    glow.ratios = {0, 255};
    glow.blurX = glow.blurY = 0;
    glow.strength = 1;
    glow.distance = 1;
    Bitmap image = square(9, 9, 3, 3, 3);
    applyFilter(image, glow);
    expectNear(at(image, 6, 4), Rgba{0, 255, 0, 255}, 1, "full strength takes the last stop");
    expectNear(at(image, 4, 2), kClear, 0, "no glow above");

    swf::GradientBevelFilter bevel;
    bevel.colors = {kWhite, Rgba{0, 0, 0, 0}, kBlack};
    bevel.ratios = {0, 128, 255};
    bevel.angle = 0;
    bevel.distance = 1;
    bevel.strength = 1;
    bevel.inner = true;
    image = square(9, 9, 3, 3, 3);
    applyFilter(image, bevel);
    expectNear(at(image, 3, 4), kWhite, 1, "highlight facing the light");
    expectNear(at(image, 5, 4), kBlack, 1, "shade away from it");
    expectNear(at(image, 4, 4), kRed, 1, "flat middle");
}

TEST(FilterColour, MatrixWorksOnUnpremultipliedColours)
{
    swf::ColorMatrixFilter swap;
    // Red and blue swapped, alpha doubled.
    swap.matrix = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0};
    Bitmap image = blank(1, 1);
    put(image, 0, 0, Rgba{100, 50, 0, 100}); // unpremultiplied (255, 127.5, 0) at alpha 100
    applyFilter(image, swap);
    expectNear(at(image, 0, 0), Rgba{0, 100, 200, 200}, 1, "swapped");

    swf::ColorMatrixFilter offset;
    offset.matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 128};
    image = blank(1, 1);
    applyFilter(image, offset);
    expectNear(at(image, 0, 0), Rgba{0, 0, 0, 128}, 0, "offset shows clear pixels");
}

TEST(FilterConvolution, EdgesDivisorBiasAndAlpha)
{
    auto row = [] {
        Bitmap image = blank(3, 1);
        put(image, 0, 0, Rgba{30, 30, 30, 255});
        put(image, 1, 0, Rgba{60, 60, 60, 255});
        put(image, 2, 0, Rgba{90, 90, 90, 255});
        return image;
    };
    struct Case {
        const char* name;
        std::vector<float> matrix;
        float divisor, bias;
        bool clamp, preserveAlpha;
        Rgba defaultColor;
        Rgba left, middle;
    };
    const Rgba grey30{30, 30, 30, 255}, grey60{60, 60, 60, 255};
    const Case cases[] = {
        {"identity", {0, 1, 0}, 1, 0, true, true, kClear, grey30, grey60},
        {"average, clamped edges",
         {1, 1, 1},
         3,
         0,
         true,
         true,
         kClear,
         Rgba{40, 40, 40, 255},
         grey60},
        {"average, default colour outside",
         {1, 1, 1},
         3,
         0,
         false,
         false,
         Rgba{0, 0, 0, 0},
         Rgba{20, 20, 20, 170},
         grey60},
        {"bias",
         {0, 1, 0},
         1,
         10,
         true,
         true,
         kClear,
         Rgba{40, 40, 40, 255},
         Rgba{70, 70, 70, 255}},
        {"zero divisor counts as one", {0, 1, 0}, 0, 0, true, true, kClear, grey30, grey60},
    };
    for (const Case& c : cases) {
        Bitmap image = row();
        swf::ConvolutionFilter f;
        f.matrixX = 3;
        f.matrixY = 1;
        f.matrix = c.matrix;
        f.divisor = c.divisor;
        f.bias = c.bias;
        f.clamp = c.clamp;
        f.preserveAlpha = c.preserveAlpha;
        f.defaultColor = c.defaultColor;
        applyFilter(image, f);
        expectNear(at(image, 0, 0), c.left, 1, std::string(c.name) + " left");
        expectNear(at(image, 1, 0), c.middle, 1, std::string(c.name) + " middle");
    }
}

TEST(FilterMargins, GrowByBlurOffsetAndScale)
{
    swf::BlurFilter blur{4, 2, 2};
    swf::DropShadowFilter shadow;
    shadow.distance = 3;
    shadow.angle = std::numbers::pi; // to the left
    shadow.passes = 1;
    swf::BevelFilter bevel;
    bevel.distance = 2;
    bevel.passes = 1;
    swf::ColorMatrixFilter matrix;
    struct Case {
        const char* name;
        swf::Filter filter;
        FilterScale scale;
        FilterMargin expected;
    };
    const Case cases[] = {
        // A 4-pixel box reaches 2 pixels, twice; a 2-pixel box 1 pixel.
        {"blur", blur, {1, 1}, {4, 2, 4, 2}},
        {"blur at double scale", blur, {2, 2}, {8, 4, 8, 4}},
        {"shadow to the left", shadow, {1, 1}, {3, 0, 0, 0}},
        {"bevel on both sides", bevel, {1, 1}, {2, 0, 2, 0}},
        {"colour matrix", matrix, {1, 1}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        FilterMargin m = filterMargin(c.filter, c.scale);
        EXPECT_EQ(m.left, c.expected.left) << c.name;
        EXPECT_EQ(m.top, c.expected.top) << c.name;
        EXPECT_EQ(m.right, c.expected.right) << c.name;
        EXPECT_EQ(m.bottom, c.expected.bottom) << c.name;
    }
    std::vector<swf::Filter> chain{blur, shadow};
    EXPECT_EQ(filterMargin(chain).left, 7);
}

TEST(FilterLimits, HostileValuesStayBounded)
{
    swf::DropShadowFilter shadow;
    shadow.blurX = 1e300;
    shadow.blurY = std::nan("");
    shadow.distance = -1e300;
    shadow.angle = std::numeric_limits<double>::infinity();
    shadow.strength = 1e9;
    shadow.passes = 31;
    swf::ConvolutionFilter huge;
    huge.matrixX = huge.matrixY = 255;
    huge.matrix.assign(255 * 255, 1.0f);
    swf::ConvolutionFilter missing;
    missing.matrixX = 3;
    missing.matrixY = 3; // no values
    const swf::Filter filters[] = {shadow, huge, missing, swf::BlurFilter{1e18, -5, 200}};
    for (const swf::Filter& f : filters) {
        Bitmap image = square(16, 16, 4, 4, 4);
        applyFilter(image, f);
        EXPECT_EQ(image.pixels.size(), 16u * 16 * 4);
        FilterMargin m = filterMargin(f, {1e12, 1e12});
        EXPECT_LE(m.left, 100000);
        EXPECT_GE(m.left, 0);
    }
    Bitmap empty;
    applyFilter(empty, shadow); // nothing to do, nothing breaks
}

} // namespace
} // namespace zf::raster
