// Segment emission and stroking: the polyline path of the segment sink
// against the line-by-line path, band bucketing, and how many chords round
// joins get.
#include "raster/geometry_p.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace zf::raster {
namespace {

constexpr int kWidth = 97;
constexpr int kHeight = 130;

bool same(const std::vector<FixedSegment>& a, const std::vector<FixedSegment>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& s, const auto& t) {
        return s.x0 == t.x0 && s.y0 == t.y0 && s.x1 == t.x1 && s.y1 == t.y1;
    });
}

// Coordinates that stress the snapping: the surface's borders, rounding
// ties on the edge grid (odd eighths), values just either side of them,
// far off-surface values and non-finite ones.
double trickyCoordinate(std::mt19937& random, double extent)
{
    std::uniform_real_distribution<double> unit(0, 1);
    switch (random() % 8) {
    case 0: return std::round(unit(random) * extent * 8) / 8; // a tie, or on the grid
    case 1: return std::nextafter(std::round(unit(random) * extent * 8) / 8, 1e300);
    case 2: return std::nextafter(std::round(unit(random) * extent * 8) / 8, -1e300);
    case 3: {
        const double borders[] = {
            0, extent, -0.125, extent - 0.125, extent + 0.125, extent + 0.124999, -0.124999};
        return borders[random() % std::size(borders)];
    }
    case 4: return (unit(random) - 0.5) * 1e7;
    case 5:
        if (random() % 16 == 0)
            return random() % 2 ? std::numeric_limits<double>::quiet_NaN()
                                : std::numeric_limits<double>::infinity();
        [[fallthrough]];
    default: return (unit(random) * 1.4 - 0.2) * extent;
    }
}

std::vector<Point> randomPolyline(std::mt19937& random)
{
    std::vector<Point> points(random() % 12);
    for (Point& p : points)
        p = {trickyCoordinate(random, kWidth), trickyCoordinate(random, kHeight)};
    // Repeated points and horizontal steps give empty or dropped lines.
    if (points.size() > 3) {
        points[2] = points[1];
        points[3].y = points[2].y;
    }
    return points;
}

TEST(SegmentSinkTest, PolylineGivesTheSegmentsOfItsLines)
{
    std::mt19937 random(11);
    for (int round = 0; round < 4000; ++round) {
        const std::vector<Point> points = randomPolyline(random);
        for (bool reversed : {false, true}) {
            std::vector<FixedSegment> expected, actual;
            SegmentSink lines(expected, kWidth, kHeight);
            for (size_t i = 0; i + 1 < points.size(); ++i) {
                if (reversed)
                    lines.line(points[i + 1], points[i]);
                else
                    lines.line(points[i], points[i + 1]);
            }
            SegmentSink polyline(actual, kWidth, kHeight);
            polyline.polyline(points.data(), points.size(), reversed);
            ASSERT_EQ(polyline.failed(), lines.failed()) << "round " << round;
            if (lines.failed())
                continue;
            ASSERT_TRUE(same(actual, expected)) << "round " << round << " reversed " << reversed;
            EXPECT_EQ(polyline.count(), expected.size());
            if (!expected.empty()) {
                EXPECT_EQ(polyline.yMin(), lines.yMin());
                EXPECT_EQ(polyline.yMax(), lines.yMax());
            }
        }
    }
}

int bandOf(int32_t y, int shift)
{
    return y >> shift;
}

TEST(SegmentSinkTest, BucketsHoldTheSegmentsByTheBandTheyStartIn)
{
    constexpr int kShift = kSubpixelBits + 4; // bands of 16 rows
    constexpr int kBands = (kHeight + 15) / 16;
    // Where a segment belongs: its first band, then whether it leaves it.
    auto key = [](const FixedSegment& s) {
        const int first = bandOf(std::min(s.y0, s.y1), kShift);
        const int last = bandOf(std::max(s.y0, s.y1) - 1, kShift);
        return std::pair{first, last > first};
    };
    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        std::vector<FixedSegment> plain;
        std::vector<std::vector<FixedSegment>> buckets(2 * kBands);
        SegmentSink flat(plain, kWidth, kHeight);
        SegmentSink sorted(buckets.data(), kShift, kWidth, kHeight, SIZE_MAX);
        for (int polygon = 0; polygon < 3; ++polygon) {
            std::vector<Point> points = randomPolyline(random);
            for (Point& p : points) // finite only: a failed sink proves nothing here
                p = {std::isfinite(p.x) ? p.x : 5.0, std::isfinite(p.y) ? p.y : 7.0};
            flat.polygon(points.data(), points.size());
            sorted.polygon(points.data(), points.size());
        }
        ASSERT_FALSE(sorted.failed());
        int maxSpan = 0;
        for (const FixedSegment& s : plain)
            maxSpan = std::max(maxSpan, bandOf(std::max(s.y0, s.y1) - 1, kShift) -
                                            bandOf(std::min(s.y0, s.y1), kShift));
        // Within a bucket the segments keep the order they came in.
        std::stable_sort(plain.begin(), plain.end(),
                         [&](const auto& a, const auto& b) { return key(a) < key(b); });
        std::vector<FixedSegment> joined;
        for (const auto& bucket : buckets)
            joined.insert(joined.end(), bucket.begin(), bucket.end());
        ASSERT_TRUE(same(joined, plain)) << "round " << round;
        EXPECT_EQ(sorted.count(), plain.size());
        EXPECT_EQ(sorted.maxBandSpan(), maxSpan);
        if (!plain.empty()) {
            EXPECT_EQ(sorted.yMin(), flat.yMin());
            EXPECT_EQ(sorted.yMax(), flat.yMax());
        }
    }
}

TEST(SegmentSinkTest, LimitCountsOnlyTheNewSegments)
{
    const Point square[] = {{1, 1}, {9, 1}, {9, 9}, {1, 9}};
    struct Case {
        const char* name;
        size_t alreadyThere;
        size_t limit;
        bool fails;
    };
    const Case cases[] = {
        {"room for both edges", 0, 2, false},
        {"one short", 0, 1, true},
        {"earlier segments count against the limit", 5, 7, false},
        {"earlier segments fill it", 5, 6, true},
    };
    for (const Case& c : cases) {
        std::vector<FixedSegment> out(c.alreadyThere);
        SegmentSink sink(out, 16, 16, c.limit);
        sink.polygon(square, 4);
        EXPECT_EQ(sink.failed(), c.fails) << c.name;
        std::vector<std::vector<FixedSegment>> buckets(2);
        SegmentSink bucketed(buckets.data(), 12, 16, 16, c.limit - c.alreadyThere);
        bucketed.polygon(square, 4);
        EXPECT_EQ(bucketed.failed(), c.fails) << c.name << " (buckets)";
    }
}

// The segments of an open two-segment stroke turning by `turn` radians.
size_t turnSegments(double turn, double halfWidth)
{
    const double heading = 1.2; // keeps the arc's chords steep, far from horizontal
    const Point at{200, 200};
    const Point points[] = {
        {at.x - 150 * std::cos(heading), at.y - 150 * std::sin(heading)},
        at,
        {at.x + 150 * std::cos(heading + turn), at.y + 150 * std::sin(heading + turn)},
    };
    std::vector<FixedSegment> segments;
    SegmentSink sink(segments, 400, 400);
    Stroker stroker;
    StrokeStyle style;
    style.halfWidth = halfWidth;
    style.startCap = style.endCap = swf::CapStyle::None;
    stroker.stroke(points, 3, false, style, sink);
    return segments.size();
}

TEST(StrokerTest, RoundJoinsTakeAsManyChordsAsTheTurnNeeds)
{
    // One chord may span 2 acos(1 - 0.05 / r) at radius r (the round join
    // tolerance). Just below a multiple of that the join takes one chord
    // fewer than just above it, whichever side the turn goes.
    for (double halfWidth : {40.0, 90.0}) {
        const double step = 2 * std::acos(1 - 0.05 / halfWidth);
        for (int chords : {1, 2, 3}) {
            for (double side : {1.0, -1.0}) {
                for (double margin : {1e-3, 1e-7}) {
                    const size_t below =
                        turnSegments(side * chords * step * (1 - margin), halfWidth);
                    const size_t above =
                        turnSegments(side * chords * step * (1 + margin), halfWidth);
                    EXPECT_EQ(above, below + 1) << "r " << halfWidth << " chords " << chords
                                                << " side " << side << " margin " << margin;
                }
            }
        }
    }
}

} // namespace
} // namespace zf::raster
