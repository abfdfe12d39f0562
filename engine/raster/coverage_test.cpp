// The cell rasterizer against a slow, obviously correct referee, plus the
// properties users notice: seams, exact edges, fill rules, clipping.
#include "raster/coverage_p.h"
#include "raster/geometry_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace zf::raster {
namespace {

using Polygon = std::vector<Point>;

std::vector<uint8_t> rasterize(const std::vector<Polygon>& polygons, FillRule rule, int width,
                               int height)
{
    std::vector<FixedSegment> segments;
    SegmentSink sink(segments, width, height);
    for (const Polygon& p : polygons)
        sink.polygon(p.data(), p.size());
    CellRasterizer cells;
    cells.setBand(0, height, width);
    for (const FixedSegment& s : segments)
        cells.addSegment(s);
    std::vector<uint8_t> image(size_t(width) * height, 0);
    cells.sweep(rule, [&](int row, int x0, int x1, const uint8_t* coverage) {
        std::copy(coverage, coverage + (x1 - x0), image.begin() + size_t(row) * width + x0);
    });
    return image;
}

// The referee: the winding-weighted area of a pixel is, summed over edges,
// the integral over the pixel row of the part of the pixel right of the
// edge. Integrated numerically, pixel by pixel, in doubles.
std::vector<uint8_t> referee(const std::vector<Polygon>& polygons, FillRule rule, int width,
                             int height)
{
    std::vector<double> area(size_t(width) * height, 0.0);
    constexpr int kSteps = 256;
    for (const Polygon& polygon : polygons) {
        for (size_t i = 0; i < polygon.size(); ++i) {
            Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
            if (a.y == b.y)
                continue;
            double direction = a.y < b.y ? 1 : -1;
            if (a.y > b.y)
                std::swap(a, b);
            for (int row = std::max(0, int(std::floor(a.y))); row < height && row < b.y; ++row) {
                double top = std::max<double>(row, a.y), bottom = std::min<double>(row + 1, b.y);
                if (bottom <= top)
                    continue;
                double step = (bottom - top) / kSteps;
                for (int k = 0; k < kSteps; ++k) {
                    double y = top + (k + 0.5) * step;
                    double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
                    for (int px = 0; px < width; ++px)
                        area[size_t(row) * width + px] +=
                            direction * step * std::clamp(px + 1 - x, 0.0, 1.0);
                }
            }
        }
    }
    std::vector<uint8_t> image(area.size());
    for (size_t i = 0; i < area.size(); ++i) {
        double c = std::fabs(area[i]);
        if (rule == FillRule::EvenOdd) {
            c = std::fmod(c, 2.0);
            if (c > 1)
                c = 2 - c;
        }
        image[i] = uint8_t(std::lround(std::min(c, 1.0) * 255));
    }
    return image;
}

double quantize(double v)
{
    return std::round(v * kEdgeGridPerPixel) / kEdgeGridPerPixel;
}

TEST(CoverageTest, MatchesRefereeOnRandomShapes)
{
    constexpr int kWidth = 40, kHeight = 32;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> coordinate(-6, 46);
        std::vector<Polygon> polygons(1 + seed % 3);
        for (Polygon& p : polygons) {
            p.resize(3 + random() % 9);
            for (Point& point : p)
                point = {quantize(coordinate(random)), quantize(coordinate(random))};
        }
        const FillRule rule = seed % 2 ? FillRule::EvenOdd : FillRule::NonZero;
        auto actual = rasterize(polygons, rule, kWidth, kHeight);
        auto expected = referee(polygons, rule, kWidth, kHeight);
        int worst = 0;
        for (size_t i = 0; i < actual.size(); ++i)
            worst = std::max(worst, std::abs(int(actual[i]) - int(expected[i])));
        // The first failing seed is the smallest case to debug.
        ASSERT_LE(worst, 2) << "seed " << seed;
    }
}

// The same polygons rasterized band by band, as the renderer does: bands
// drop the segments that miss them and clip the rest, and the pieces must
// join into the image a single band gives.
std::vector<uint8_t> rasterizeInBands(const std::vector<Polygon>& polygons, FillRule rule,
                                      int width, int height, int bandRows)
{
    std::vector<FixedSegment> segments;
    SegmentSink sink(segments, width, height);
    for (const Polygon& p : polygons)
        sink.polygon(p.data(), p.size());
    CellRasterizer cells;
    std::vector<uint8_t> image(size_t(width) * height, 0);
    for (int top = 0; top < height; top += bandRows) {
        cells.setBand(top, std::min(bandRows, height - top), width);
        for (const FixedSegment& s : segments)
            cells.addSegment(s);
        cells.sweep(rule, [&](int row, int x0, int x1, const uint8_t* coverage) {
            std::copy(coverage, coverage + (x1 - x0), image.begin() + size_t(row) * width + x0);
        });
    }
    return image;
}

// Vertical edges take their own path through the rasterizer: at fractional
// columns, in both directions, starting and ending inside rows, and as
// slivers narrower than a pixel.
TEST(CoverageTest, VerticalEdgesMatchRefereeInAnyBanding)
{
    struct Case {
        const char* name;
        std::vector<Polygon> polygons;
    };
    const Case cases[] = {
        {"rectangle", {{{2.25, 1.5}, {9.75, 1.5}, {9.75, 12.25}, {2.25, 12.25}}}},
        {"reversed rectangle", {{{2.25, 1.5}, {2.25, 12.25}, {9.75, 12.25}, {9.75, 1.5}}}},
        {"sliver in one column", {{{4.25, 0.75}, {4.5, 0.75}, {4.5, 15.5}, {4.25, 15.5}}}},
        {"trapezoid", {{{1, 2.5}, {6.5, 2.5}, {13.75, 11}, {1, 11}}}},
        {"on the right border", {{{10, 3}, {16, 3}, {16, 9.5}, {10, 9.5}}}},
        {"overlapping",
         {{{1.5, 1}, {8.5, 1}, {8.5, 9}, {1.5, 9}},
          {{5.25, 4}, {14.75, 4}, {14.75, 14}, {5.25, 14}}}},
    };
    constexpr int kWidth = 16, kHeight = 16;
    for (const Case& c : cases) {
        for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
            const auto expected = referee(c.polygons, rule, kWidth, kHeight);
            const auto whole = rasterize(c.polygons, rule, kWidth, kHeight);
            int worst = 0;
            for (size_t i = 0; i < whole.size(); ++i)
                worst = std::max(worst, std::abs(int(whole[i]) - int(expected[i])));
            EXPECT_LE(worst, 2) << c.name;
            for (int bandRows : {1, 3, 5})
                EXPECT_EQ(rasterizeInBands(c.polygons, rule, kWidth, kHeight, bandRows), whole)
                    << c.name << " in bands of " << bandRows;
        }
    }
}

TEST(CoverageTest, RandomShapesInBandsMatchOneBand)
{
    constexpr int kWidth = 70, kHeight = 40;
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> coordinate(-8, 78);
        Polygon polygon(3 + random() % 12);
        for (Point& point : polygon)
            point = {quantize(coordinate(random)), quantize(coordinate(random))};
        const auto whole = rasterize({polygon}, FillRule::NonZero, kWidth, kHeight);
        EXPECT_EQ(rasterizeInBands({polygon}, FillRule::NonZero, kWidth, kHeight, 4), whole)
            << "seed " << seed;
    }
}

TEST(CoverageTest, PixelAlignedSquareIsExact)
{
    auto image = rasterize({{{2, 3}, {10, 3}, {10, 7}, {2, 7}}}, FillRule::NonZero, 12, 10);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            bool inside = x >= 2 && x < 10 && y >= 3 && y < 7;
            EXPECT_EQ(image[y * 12 + x], inside ? 255 : 0) << x << "," << y;
        }
    }
}

TEST(CoverageTest, SharedEdgeLeavesNoSeam)
{
    // A quad split along an oblique edge, traversed in opposite directions.
    const Polygon left{{1.3, 0.7}, {17.9, 2.2}, {9.6, 15.4}};
    const Polygon right{{17.9, 2.2}, {19.1, 14.8}, {9.6, 15.4}};
    auto a = rasterize({left}, FillRule::EvenOdd, 24, 18);
    auto b = rasterize({right}, FillRule::EvenOdd, 24, 18);
    auto whole = rasterize({left, right}, FillRule::NonZero, 24, 18);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_NEAR(int(a[i]) + int(b[i]), int(whole[i]), 1) << i;
}

TEST(CoverageTest, FillRulesOnDoubledLoop)
{
    const Polygon square{{1, 1}, {7, 1}, {7, 7}, {1, 7}};
    auto evenOdd = rasterize({square, square}, FillRule::EvenOdd, 8, 8);
    auto nonZero = rasterize({square, square}, FillRule::NonZero, 8, 8);
    EXPECT_TRUE(std::all_of(evenOdd.begin(), evenOdd.end(), [](uint8_t c) { return c == 0; }));
    EXPECT_EQ(nonZero[3 * 8 + 3], 255);
    EXPECT_EQ(std::count(nonZero.begin(), nonZero.end(), 255), 36);
    // Opposite orientations cancel under non-zero as well.
    Polygon reversed(square.rbegin(), square.rend());
    auto cancelled = rasterize({square, reversed}, FillRule::NonZero, 8, 8);
    EXPECT_TRUE(std::all_of(cancelled.begin(), cancelled.end(), [](uint8_t c) { return c == 0; }));
}

TEST(CoverageTest, ClipsGeometryOutsideTheSurface)
{
    struct Case {
        const char* name;
        Polygon polygon;
        int expectedFull; // pixels at 255
    };
    const Case cases[] = {
        {"wider than surface", {{-1e6, 2}, {1e6, 2}, {1e6, 4}, {-1e6, 4}}, 2 * 16},
        {"left half outside", {{-50, -50}, {8, -50}, {8, 50}, {-50, 50}}, 8 * 16},
        {"right of surface", {{20, 0}, {30, 0}, {30, 16}, {20, 16}}, 0},
        {"huge triangle covering all", {{-1e9, -1e9}, {1e9, -1e9}, {0, 1e9}}, 16 * 16},
    };
    for (const Case& c : cases) {
        auto image = rasterize({c.polygon}, FillRule::NonZero, 16, 16);
        EXPECT_EQ(std::count(image.begin(), image.end(), 255), c.expectedFull) << c.name;
    }
    std::vector<FixedSegment> segments;
    SegmentSink sink(segments, 16, 16);
    sink.line({0, 0}, {NAN, 4});
    EXPECT_TRUE(sink.failed());
}

} // namespace
} // namespace zf::raster
