// The compositing loops (vectorised in blocks of four with a scalar tail)
// against the one-pixel formulas they must reproduce exactly.
#include "raster/paint_p.h"
#include "raster/test_shapes_p.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace zf::raster {
namespace {

// A random valid premultiplied pixel: no colour channel above alpha. Alpha
// 0 and 255 come up often, as they do in real frames.
uint32_t randomPixel(std::mt19937& random)
{
    const uint32_t pick = random() % 4;
    const uint32_t a = pick == 0 ? 0 : pick == 1 ? 255 : random() % 256;
    auto channel = [&] { return a == 0 ? 0u : uint32_t(random() % (a + 1)); };
    const uint32_t r = channel(), g = channel(), b = channel();
    return packPixel(r, g, b, a);
}

uint8_t randomCoverage(std::mt19937& random)
{
    const uint32_t pick = random() % 4;
    return uint8_t(pick == 0 ? 0 : pick == 1 ? 255 : random() % 256);
}

uint32_t over(uint32_t dst, uint32_t src, uint32_t k)
{
    return k == 0 ? dst : blendOver(dst, scalePixel(src, k));
}

std::vector<uint8_t> toBytes(const std::vector<uint32_t>& pixels)
{
    std::vector<uint8_t> bytes(pixels.size() * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        storePixel(bytes.data() + 4 * i, pixels[i]);
    return bytes;
}

TEST(BlendTest, SpanLoopsMatchThePixelFormula)
{
    std::mt19937 random(11);
    for (int count = 0; count <= 13; ++count) {
        for (int trial = 0; trial < 40; ++trial) {
            std::vector<uint32_t> dst(count), src(count);
            std::vector<uint8_t> coverage(count);
            for (int i = 0; i < count; ++i) {
                dst[i] = randomPixel(random);
                src[i] = randomPixel(random);
                coverage[i] = randomCoverage(random);
            }
            const uint32_t color = randomPixel(random);
            const uint32_t runCoverage = 1 + random() % 255;
            struct Case {
                const char* name;
                std::function<void(uint8_t*)> run;
                std::function<uint32_t(int)> expected;
            };
            const Case cases[] = {
                {"solid span",
                 [&](uint8_t* d) { blendSolidSpan(d, color, coverage.data(), count); },
                 [&](int i) { return over(dst[i], color, coverage[i]); }},
                {"span", [&](uint8_t* d) { blendSpan(d, src.data(), coverage.data(), count); },
                 [&](int i) { return over(dst[i], src[i], coverage[i]); }},
                {"solid run", [&](uint8_t* d) { blendSolidRun(d, color, runCoverage, count); },
                 [&](int i) { return over(dst[i], color, runCoverage); }},
                {"run", [&](uint8_t* d) { blendRun(d, src.data(), runCoverage, false, count); },
                 [&](int i) { return over(dst[i], src[i], runCoverage); }},
                // Full coverage of sources not known to be opaque.
                {"full run", [&](uint8_t* d) { blendRun(d, src.data(), 255, false, count); },
                 [&](int i) { return over(dst[i], src[i], 255); }},
            };
            for (const Case& c : cases) {
                std::vector<uint8_t> bytes = toBytes(dst);
                c.run(bytes.data());
                for (int i = 0; i < count; ++i)
                    ASSERT_EQ(loadPixel(bytes.data() + 4 * i), c.expected(i))
                        << c.name << " count " << count << " pixel " << i;
            }
        }
    }
}

// Every channel value under every coverage, on both sides of the blend: the vector loops' rounding
// must equal scalePixel's for all of the 8-bit products, not only for sampled ones.
TEST(BlendTest, EveryChannelValueAndCoverage)
{
    std::vector<uint32_t> source(256), dst(256);
    for (uint32_t v = 0; v < 256; ++v) {
        source[v] = packPixel(v, 255 - v, v / 2, 255);
        dst[v] = packPixel(255 - v, v, (v * 7) % 256, v);
    }
    for (uint32_t k = 1; k <= 255; ++k) {
        const std::vector<uint8_t> coverage(256, uint8_t(k));
        std::vector<uint8_t> run = toBytes(dst), span = toBytes(dst);
        blendRun(run.data(), source.data(), k, true, 256);
        blendSpan(span.data(), source.data(), coverage.data(), 256);
        for (int i = 0; i < 256; ++i) {
            const uint32_t expected = over(dst[i], source[i], k);
            ASSERT_EQ(loadPixel(run.data() + 4 * i), expected) << "run k " << k << " pixel " << i;
            ASSERT_EQ(loadPixel(span.data() + 4 * i), expected) << "span k " << k << " pixel " << i;
        }
    }
}

TEST(BlendTest, GatheredRunsMatchGatheredSpans)
{
    std::mt19937 random(5);
    for (int count = 1; count <= 11; ++count) {
        for (int trial = 0; trial < 40; ++trial) {
            // A group part gathered already: some pixels empty, some partly
            // or fully covered by an earlier fill.
            std::vector<uint32_t> group(count), source(count);
            std::vector<uint8_t> covered(count);
            for (int i = 0; i < count; ++i) {
                covered[i] = randomCoverage(random);
                group[i] = covered[i] ? scalePixel(randomPixel(random), covered[i]) : 0;
                source[i] = randomPixel(random);
            }
            const uint32_t color = randomPixel(random);
            const uint8_t value = uint8_t(1 + random() % 255);
            const std::vector<uint8_t> constant(count, value);
            auto solidRun = group, solidSpan = group, run = group, span = group;
            auto solidRunCovered = covered, solidSpanCovered = covered, runCovered = covered,
                 spanCovered = covered;
            gatherSolidRun(solidRun.data(), solidRunCovered.data(), color, value, count);
            gatherSolidSpan(solidSpan.data(), solidSpanCovered.data(), color, constant.data(),
                            count);
            gatherRun(run.data(), runCovered.data(), source.data(), value, count);
            gatherSpan(span.data(), spanCovered.data(), source.data(), constant.data(), count);
            EXPECT_EQ(solidRun, solidSpan);
            EXPECT_EQ(solidRunCovered, solidSpanCovered);
            EXPECT_EQ(run, span);
            EXPECT_EQ(runCovered, spanCovered);

            // Flushing composites every gathered pixel and leaves the group clean.
            std::vector<uint32_t> dst(count);
            for (uint32_t& p : dst)
                p = randomPixel(random);
            std::vector<uint8_t> bytes = toBytes(dst);
            flushGatheredSpan(bytes.data(), span.data(), spanCovered.data(), count);
            for (int i = 0; i < count; ++i)
                EXPECT_EQ(loadPixel(bytes.data() + 4 * i), blendOver(dst[i], run[i])) << i;
            EXPECT_EQ(span, std::vector<uint32_t>(count, 0));
            EXPECT_EQ(spanCovered, std::vector<uint8_t>(count, 0));
        }
    }
}

TEST(BlendTest, RadialRampIndexAtCentreEdgeAndOutside)
{
    // A radial paint over a 32-pixel circle: the centre takes the first ramp
    // entry, pixels beyond the radius the last, and shading a row in pieces
    // gives what shading it whole gives.
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i)
        ramp[i] = packPixel(i, i, i, 255);
    Paint paint;
    paint.kind = Paint::Kind::Radial;
    paint.inverse = Matrix{1.0 / 32, 0, 0, 1.0 / 32, -0.5 / 32, -0.5 / 32};
    std::vector<uint32_t> whole(100), pieces(100);
    shadeSpan(paint, ramp.data(), -50, 0, 100, whole.data());
    EXPECT_EQ(whole[50], ramp[0]);
    EXPECT_EQ(whole[0], ramp[255]);
    EXPECT_EQ(whole[99], ramp[255]);
    EXPECT_EQ(whole[50 + 16], ramp[128]);
    for (int start = 0; start < 100; start += 7)
        shadeSpan(paint, ramp.data(), -50, 0, std::min(7, 100 - start), pieces.data() + start,
                  start);
    EXPECT_EQ(whole, pieces);
    // A degenerate matrix reads the first entry rather than anything outside.
    paint.inverse = Matrix{NAN, 0, 0, NAN, 0, 0};
    shadeSpan(paint, ramp.data(), 0, 0, 4, whole.data());
    EXPECT_EQ(whole[0], ramp[0]);
}

// The gathering loops take four untouched pixels at a time; they must give
// what the same loops give run one pixel at a time. Group buffers mix
// stretches nothing was gathered in with partly and fully covered pixels.
TEST(BlendTest, GatheringInBlocksMatchesPixelByPixel)
{
    std::mt19937 random(9);
    for (int count = 1; count <= 19; ++count) {
        for (int trial = 0; trial < 30; ++trial) {
            std::vector<uint32_t> group(count), source(count);
            std::vector<uint8_t> covered(count), coverage(count);
            bool untouched = false;
            for (int i = 0; i < count; ++i) {
                if (i % 4 == 0)
                    untouched = random() % 3 != 0;
                covered[i] = untouched ? 0 : randomCoverage(random);
                group[i] = covered[i] ? scalePixel(randomPixel(random), covered[i]) : 0;
                source[i] = randomPixel(random);
                coverage[i] = randomCoverage(random);
            }
            const uint32_t color = randomPixel(random);
            const uint32_t value = 1 + random() % 255;
            struct Case {
                const char* name;
                std::function<void(uint32_t*, uint8_t*, int, int)> gather; // from, count
            };
            const Case cases[] = {
                {"span",
                 [&](uint32_t* g, uint8_t* c, int from, int n) {
                     gatherSpan(g + from, c + from, source.data() + from, coverage.data() + from,
                                n);
                 }},
                {"solid span",
                 [&](uint32_t* g, uint8_t* c, int from, int n) {
                     gatherSolidSpan(g + from, c + from, color, coverage.data() + from, n);
                 }},
                {"run",
                 [&](uint32_t* g, uint8_t* c, int from, int n) {
                     gatherRun(g + from, c + from, source.data() + from, value, n);
                 }},
                {"solid run", [&](uint32_t* g, uint8_t* c, int from,
                                  int n) { gatherSolidRun(g + from, c + from, color, value, n); }},
            };
            for (const Case& c : cases) {
                auto wholeGroup = group, singleGroup = group;
                auto wholeCovered = covered, singleCovered = covered;
                c.gather(wholeGroup.data(), wholeCovered.data(), 0, count);
                for (int i = 0; i < count; ++i)
                    c.gather(singleGroup.data(), singleCovered.data(), i, 1);
                ASSERT_EQ(wholeGroup, singleGroup) << c.name << " count " << count;
                ASSERT_EQ(wholeCovered, singleCovered) << c.name << " count " << count;
            }
            std::vector<uint32_t> dst(count);
            for (uint32_t& p : dst)
                p = randomPixel(random);
            std::vector<uint8_t> whole = toBytes(dst), single = toBytes(dst);
            auto wholeGroup = group, singleGroup = group;
            auto wholeCovered = covered, singleCovered = covered;
            flushGatheredSpan(whole.data(), wholeGroup.data(), wholeCovered.data(), count);
            for (int i = 0; i < count; ++i)
                flushGatheredSpan(single.data() + 4 * i, singleGroup.data() + i,
                                  singleCovered.data() + i, 1);
            ASSERT_EQ(whole, single) << "flush count " << count;
        }
    }
}

// Blend modes other than source-over.

std::array<int, 4> channels(uint32_t p)
{
    return {int(p & 0xFF), int((p >> 8) & 0xFF), int((p >> 16) & 0xFF), int(p >> 24)};
}

TEST(BlendModeTest, OpaquePixelsByMode)
{
    // Source (200, 100, 50) over backdrop (100, 150, 250), both opaque:
    // the textbook formulas on 0..1 values, scaled back to bytes.
    const uint32_t src = packPixel(200, 100, 50, 255), dst = packPixel(100, 150, 250, 255);
    struct Case {
        BlendMode mode;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        {BlendMode::Normal, {200, 100, 50, 255}},
        {BlendMode::Layer, {200, 100, 50, 255}},
        {BlendMode::Multiply, {78, 59, 49, 255}},
        {BlendMode::Screen, {222, 191, 251, 255}},
        {BlendMode::Lighten, {200, 150, 250, 255}},
        {BlendMode::Darken, {100, 100, 50, 255}},
        {BlendMode::Difference, {100, 50, 200, 255}},
        {BlendMode::Add, {255, 250, 255, 255}},
        {BlendMode::Subtract, {0, 50, 200, 255}},
        {BlendMode::Invert, {155, 105, 5, 255}},
        {BlendMode::Overlay, {157, 127, 247, 255}},
        {BlendMode::HardLight, {188, 118, 98, 255}},
        {BlendMode::Alpha, {100, 150, 250, 255}}, // opaque source keeps all
        {BlendMode::Erase, {0, 0, 0, 0}},         // opaque source removes all
    };
    for (const Case& c : cases) {
        const auto got = channels(blendModePixel(c.mode, dst, src, 255));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], c.expected[i], 1) << "mode " << int(c.mode) << " channel " << i;
    }
}

TEST(BlendModeTest, TransparencyAndPartialCoverage)
{
    const uint32_t src = packPixel(200, 100, 50, 255), dst = packPixel(100, 150, 250, 255);
    const uint32_t halfSrc = packPixel(100, 50, 25, 128); // the source at half alpha
    struct Case {
        const char* name;
        BlendMode mode;
        uint32_t dst, src, coverage;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        // Onto nothing, a separable mode shows the source as it is.
        {"multiply onto transparent", BlendMode::Multiply, 0, src, 255, {200, 100, 50, 255}},
        {"screen onto transparent", BlendMode::Screen, 0, halfSrc, 255, {100, 50, 25, 128}},
        // No coverage, or a transparent source, leaves the backdrop.
        {"difference uncovered", BlendMode::Difference, dst, src, 0, {100, 150, 250, 255}},
        {"multiply clear source", BlendMode::Multiply, dst, 0, 255, {100, 150, 250, 255}},
        {"invert clear source", BlendMode::Invert, dst, 0, 255, {100, 150, 250, 255}},
        // Half coverage lands halfway to the full result.
        {"multiply half covered", BlendMode::Multiply, dst, src, 128, {89, 104, 150, 255}},
        {"invert half alpha", BlendMode::Invert, dst, halfSrc, 255, {127, 127, 127, 255}},
        {"add half alpha", BlendMode::Add, dst, halfSrc, 255, {200, 200, 255, 255}},
        {"subtract half alpha", BlendMode::Subtract, dst, halfSrc, 255, {0, 100, 225, 255}},
        // Alpha keeps the backdrop by the source alpha where it covers.
        {"alpha half", BlendMode::Alpha, dst, halfSrc, 255, {50, 75, 125, 128}},
        {"alpha clear source", BlendMode::Alpha, dst, 0, 255, {0, 0, 0, 0}},
        {"alpha uncovered", BlendMode::Alpha, dst, 0, 0, {100, 150, 250, 255}},
        {"alpha clear, half covered", BlendMode::Alpha, dst, 0, 128, {50, 75, 125, 127}},
        {"erase a fifth", BlendMode::Erase, dst, packPixel(0, 0, 0, 51), 255, {80, 120, 200, 204}},
    };
    for (const Case& c : cases) {
        const auto got = channels(blendModePixel(c.mode, c.dst, c.src, c.coverage));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], c.expected[i], 1) << c.name << " channel " << i;
    }
}

TEST(BlendModeTest, ResultsStayValidAndSpansMatchPixels)
{
    // Whatever goes in, no colour channel comes out above its alpha (the
    // compositing loops rely on that), and the span matches the pixel.
    std::mt19937 random(5);
    for (int m = 1; m <= 14; ++m) {
        const BlendMode mode = BlendMode(m);
        std::vector<uint32_t> dst(64), src(64);
        std::vector<uint8_t> coverage(64);
        for (int i = 0; i < 64; ++i) {
            dst[i] = randomPixel(random);
            src[i] = randomPixel(random);
            coverage[i] = randomCoverage(random);
        }
        std::vector<uint32_t> expected(64);
        for (int i = 0; i < 64; ++i) {
            expected[i] = blendModePixel(mode, dst[i], src[i], coverage[i]);
            const auto c = channels(expected[i]);
            EXPECT_TRUE(c[0] <= c[3] && c[1] <= c[3] && c[2] <= c[3])
                << "mode " << m << ": " << c[0] << "," << c[1] << "," << c[2] << "," << c[3];
        }
        std::vector<uint8_t> bytes = toBytes(dst);
        blendModeSpan(mode, bytes.data(), src.data(), 0, coverage.data(), 64);
        EXPECT_EQ(bytes, toBytes(expected)) << "mode " << m;
        std::vector<uint8_t> solid = toBytes(dst);
        blendModeSpan(mode, solid.data(), nullptr, src[0], coverage.data(), 64);
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ(loadPixel(solid.data() + 4 * i),
                      blendModePixel(mode, dst[i], src[0], coverage[i]))
                << "mode " << m << " solid at " << i;
    }
}

TEST(BlendModeTest, RendererBlendsShapesInsideAndOutsideMasks)
{
    // A green square multiplied over a half-covering red one: black where
    // they overlap, green elsewhere; under a mask, only within the mask.
    swf::Shape red, green, mask;
    red.groups.emplace_back().fills.push_back(testing::solidFill({255, 0, 0, 255}));
    testing::addRect(red.groups[0], 0, 0, 8, 16, 1);
    green.groups.emplace_back().fills.push_back(testing::solidFill({0, 255, 0, 255}));
    testing::addRect(green.groups[0], 4, 4, 12, 12, 1);
    mask.groups.emplace_back().fills.push_back(testing::solidFill({0, 0, 0, 255}));
    testing::addRect(mask.groups[0], 0, 0, 6, 16, 1);
    for (const bool masked : {false, true}) {
        testing::Canvas canvas(16, 16);
        Renderer renderer;
        renderer.begin(canvas.surface(), {});
        renderer.drawShape(red, testing::kTwipsToPixels, {}, nullptr);
        if (masked) {
            renderer.beginMask();
            renderer.drawShape(mask, testing::kTwipsToPixels, {}, nullptr);
            renderer.endMask();
        }
        renderer.drawShape(green, testing::kTwipsToPixels, {}, nullptr, BlendMode::Multiply);
        if (masked)
            renderer.popMask();
        renderer.finish();
        const Rgba kBlack{0, 0, 0, 255}, kGreen{0, 255, 0, 255}, kWhite{255, 255, 255, 255},
            kRed{255, 0, 0, 255};
        EXPECT_EQ(canvas.at(5, 6), kBlack) << masked;
        EXPECT_EQ(canvas.at(7, 6), masked ? kRed : kBlack) << masked;
        EXPECT_EQ(canvas.at(10, 6), masked ? kWhite : kGreen) << masked;
    }
}

} // namespace
} // namespace zf::raster
