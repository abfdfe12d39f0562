// The cell rasterizer against a slow, obviously correct referee, plus the
// properties users notice: seams, exact edges, fill rules, clipping.
#include "raster/coverage_p.h"
#include "raster/geometry_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
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

// The plain walk: every crossing point computed on its own as
// floor(slope * distance + 0.5) from the canonical end points, cells kept
// in a map-like dense grid, the sweep done pixel by pixel. The rasterizer's
// incremental and special-cased paths must produce exactly its spans.
class PlainCells {
public:
    PlainCells(int top, int rows, int width)
        : m_top(top), m_rows(rows), m_width(width), m_cover(size_t(rows) * (width + 1)),
          m_area(m_cover.size()), m_touched(m_cover.size())
    {
    }

    void add(FixedSegment s)
    {
        int direction = 1;
        if (s.y0 > s.y1) {
            std::swap(s.x0, s.x1);
            std::swap(s.y0, s.y1);
            direction = -1;
        }
        const int32_t yEnd = std::min(s.y1, (m_top + m_rows) * kSubpixelScale);
        int32_t ya = std::max(s.y0, m_top * kSubpixelScale);
        if (ya >= yEnd)
            return;
        const double slope = double(s.x1 - s.x0) / double(s.y1 - s.y0);
        auto xAt = [&](int32_t y) {
            return y == s.y1 ? s.x1 : s.x0 + int32_t(std::floor(slope * (y - s.y0) + 0.5));
        };
        while (ya < yEnd) {
            const int32_t yb = std::min((ya / kSubpixelScale + 1) * kSubpixelScale, yEnd);
            piece(ya / kSubpixelScale - m_top, xAt(ya), xAt(yb), yb - ya, direction);
            ya = yb;
        }
    }

    // Rows as "origin: x0-x1=c,c,c x0-x1:v" lines, runs marked by ':'.
    std::string sweep(FillRule rule)
    {
        std::string text;
        for (int row = 0; row < m_rows; ++row) {
            const size_t base = size_t(row) * (m_width + 1);
            int first = -1, last = -1;
            for (int x = 0; x <= m_width; ++x) {
                if (m_touched[base + x]) {
                    first = first < 0 ? x : first;
                    last = x;
                }
            }
            if (first < 0)
                continue;
            std::string line;
            int64_t sum = 0;
            for (int x = first; x <= last;) {
                const int start = x;
                std::string values;
                for (; x <= last && m_touched[base + x]; ++x) {
                    sum += int32_t(m_cover[base + x]);
                    values += std::to_string(fold(rule, sum * 512 - int32_t(m_area[base + x])));
                    values += ',';
                }
                if (start < m_width)
                    line += ' ' + std::to_string(start) + '-' +
                            std::to_string(std::min(x, m_width)) + '=' +
                            values.substr(0, 4 * size_t(std::min(x, m_width) - start));
                const int next = x;
                while (x <= last && !m_touched[base + x])
                    ++x;
                const int value = fold(rule, sum * 512);
                const int runEnd = x > last ? m_width : x;
                if (value != 0 && runEnd > next)
                    line += ' ' + std::to_string(next) + '-' + std::to_string(runEnd) + ':' +
                            std::to_string(value);
            }
            if (!line.empty())
                text += std::to_string(m_top + row) + " @" + std::to_string(first) + line + '\n';
        }
        return text;
    }

private:
    static int fold(FillRule rule, int64_t raw)
    {
        int64_t c = raw < 0 ? -raw : raw;
        if (rule == FillRule::EvenOdd) {
            c %= 1 << 18;
            c = c > (1 << 17) ? (1 << 18) - c : c;
        }
        return int((std::min<int64_t>(c, 1 << 17) * 255 + (1 << 16)) >> 17);
    }

    void cell(int row, int x, int32_t dy, int32_t twiceMid)
    {
        const size_t at = size_t(row) * (m_width + 1) + x;
        m_cover[at] += uint32_t(dy);
        m_area[at] += uint32_t(dy * twiceMid);
        m_touched[at] = 1;
    }

    void piece(int row, int32_t xa, int32_t xb, int32_t dy, int direction)
    {
        const int32_t lo = std::min(xa, xb), hi = std::max(xa, xb);
        const int cellLo = lo / kSubpixelScale;
        const int cellHi = hi == lo ? cellLo : (hi - 1) / kSubpixelScale;
        for (int x = cellLo; x <= cellHi; ++x)
            m_touched[size_t(row) * (m_width + 1) + x] = 1;
        const double slope = double(dy) / double(hi - lo);
        int32_t px = xa, py = 0;
        for (int step = 0; step < cellHi - cellLo; ++step) {
            const int x = xa < xb ? cellLo + step : cellHi - step;
            const int32_t left = x * kSubpixelScale;
            const int32_t border = xa < xb ? left + kSubpixelScale : left;
            const int32_t ny = int32_t(std::floor(slope * std::abs(border - xa) + 0.5));
            cell(row, x, (ny - py) * direction, (px - left) + (border - left));
            px = border;
            py = ny;
        }
        const int last = xa < xb ? cellHi : cellLo;
        const int32_t left = last * kSubpixelScale;
        cell(row, last, (dy - py) * direction, (px - left) + (xb - left));
    }

    int m_top, m_rows, m_width;
    std::vector<uint32_t> m_cover, m_area;
    std::vector<uint8_t> m_touched;
};

std::string sweepText(CellRasterizer& cells, FillRule rule)
{
    std::string text;
    cells.sweepSpans(rule, [&](int row, const CoverageSpan* spans, int count, int origin) {
        text += std::to_string(row) + " @" + std::to_string(origin);
        for (int i = 0; i < count; ++i) {
            const CoverageSpan& s = spans[i];
            text += ' ' + std::to_string(s.x0) + '-' + std::to_string(s.x1);
            if (!s.coverage) {
                text += ':' + std::to_string(s.value);
                continue;
            }
            text += '=';
            for (int x = s.x0; x < s.x1; ++x)
                text += std::to_string(s.coverage[x - s.x0]) + ',';
        }
        text += '\n';
    });
    return text;
}

// Segments of the kinds that take different paths: within one cell, across
// two, across many (and across 64-cell words), vertical ones on and off
// cell borders, and coordinates on a coarse grid, where a crossing often
// falls exactly halfway between two subpixels.
TEST(CoverageTest, MatchesPlainWalkOnRandomSegments)
{
    constexpr int kWidth = 150, kHeight = 40;
    struct Kind {
        const char* name;
        int grid;  // coordinates are multiples of this (subpixels)
        int reach; // the end point lies within this many pixels of the start
    };
    const Kind kinds[] = {
        {"fine, short", 1, 2}, {"fine, long", 1, kWidth}, {"quarter grid", 64, 3},
        {"half grid", 128, 4}, {"tie grid", 32, 2},       {"pixel grid", 256, kWidth},
    };
    for (const Kind& kind : kinds) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            std::mt19937 random(seed);
            auto coordinate = [&](int32_t from, int32_t limit) {
                const int32_t reach = kind.reach * kSubpixelScale;
                std::uniform_int_distribution<int32_t> pick(std::max(0, from - reach),
                                                            std::min(limit, from + reach));
                return pick(random) / kind.grid * kind.grid;
            };
            std::vector<FixedSegment> segments(60);
            for (FixedSegment& s : segments) {
                s.x0 = coordinate(kWidth * kSubpixelScale / 2, kWidth * kSubpixelScale);
                s.y0 = coordinate(kHeight * kSubpixelScale / 2, kHeight * kSubpixelScale);
                s.x1 = random() % 5 == 0 ? s.x0 : coordinate(s.x0, kWidth * kSubpixelScale);
                s.y1 = coordinate(s.y0, kHeight * kSubpixelScale);
            }
            const FillRule rule = seed % 2 ? FillRule::EvenOdd : FillRule::NonZero;
            for (int bandRows : {kHeight, 7}) {
                for (int top = 0; top < kHeight; top += bandRows) {
                    const int rows = std::min(bandRows, kHeight - top);
                    CellRasterizer cells;
                    cells.setBand(top, rows, kWidth);
                    PlainCells plain(top, rows, kWidth);
                    for (const FixedSegment& s : segments) {
                        cells.addSegment(s);
                        if (s.y0 != s.y1)
                            plain.add(s);
                    }
                    ASSERT_EQ(sweepText(cells, rule), plain.sweep(rule))
                        << kind.name << ", seed " << seed << ", band at " << top;
                }
            }
        }
    }
}

// Deep windings: the folds must agree with the plain 64-bit arithmetic far
// beyond one full coverage, under both rules and both orientations.
TEST(CoverageTest, FoldsDeepWindingsLikePlainArithmetic)
{
    constexpr int kWidth = 12, kHeight = 6;
    for (int depth : {1, 2, 3, 255, 256, 257, 1000, 40000}) {
        for (int direction : {1, -1}) {
            CellRasterizer cells;
            cells.setBand(0, kHeight, kWidth);
            PlainCells plain(0, kHeight, kWidth);
            const FixedSegment edges[] = {{300, 100, 900, 1400}, {2000, 1400, 2500, 0}};
            for (int i = 0; i < depth; ++i) {
                for (FixedSegment s : edges) {
                    if (direction < 0) {
                        std::swap(s.x0, s.x1);
                        std::swap(s.y0, s.y1);
                    }
                    cells.addSegment(s);
                    plain.add(s);
                }
            }
            for (FillRule rule : {FillRule::EvenOdd, FillRule::NonZero}) {
                CellRasterizer copy = cells;
                PlainCells plainCopy = plain;
                EXPECT_EQ(sweepText(copy, rule), plainCopy.sweep(rule))
                    << "depth " << depth << ", direction " << direction;
            }
        }
    }
}

} // namespace
} // namespace zf::raster
