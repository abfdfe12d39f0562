// The compositing loops (vectorised in blocks of four with a scalar tail)
// against the one-pixel formulas they must reproduce exactly.
#include "raster/paint_p.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace zf::raster
