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

} // namespace
} // namespace zf::raster
