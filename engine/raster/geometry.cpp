#include "raster/geometry_p.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zf::raster {
namespace {

// Coordinates beyond this are pulled in before clipping so that the
// interpolation arithmetic stays finite; such points are far off-surface.
constexpr double kCoordinateLimit = 1e9;

// Round joins and caps are small and sit at the visible ends of strokes, so
// they get a finer tolerance than general curves.
constexpr double kArcTolerance = 0.05;

Point perpendicular(Point d)
{
    return {-d.y, d.x};
}
Point operator+(Point a, Point b)
{
    return {a.x + b.x, a.y + b.y};
}
Point operator-(Point a, Point b)
{
    return {a.x - b.x, a.y - b.y};
}
Point operator*(Point a, double s)
{
    return {a.x * s, a.y * s};
}
double dot(Point a, Point b)
{
    return a.x * b.x + a.y * b.y;
}
double cross(Point a, Point b)
{
    return a.x * b.y - a.y * b.x;
}

// The largest angle one chord of an arc of this radius may span.
double arcMaxStep(double radius)
{
    double maxStep = std::numbers::pi / 2;
    if (radius > kArcTolerance)
        maxStep = std::min(maxStep, 2 * std::acos(1 - kArcTolerance / radius));
    return maxStep;
}

int arcSteps(double angle, double maxStep)
{
    return std::clamp(int(std::ceil(angle / maxStep)), 1, 256);
}

} // namespace

SegmentSink::SegmentSink(std::vector<FixedSegment>& out, int width, int height, size_t limit)
    : m_out(&out), m_width(width), m_height(height), m_gridWidth(double(width) * kEdgeGridPerPixel),
      m_gridHeight(double(height) * kEdgeGridPerPixel + 1),
      m_limit(limit > out.size() ? limit - out.size() : 0)
{
}

SegmentSink::SegmentSink(std::vector<FixedSegment>* buckets, int bandShift, int width, int height,
                         size_t limit)
    : m_buckets(buckets), m_bandShift(bandShift), m_width(width), m_height(height),
      m_gridWidth(double(width) * kEdgeGridPerPixel),
      m_gridHeight(double(height) * kEdgeGridPerPixel + 1), m_limit(limit)
{
}

// `yLo` and `yHi` are the segment's ends in y order; they differ.
inline void SegmentSink::push(const FixedSegment& segment, int32_t yLo, int32_t yHi)
{
    if (m_count >= m_limit) {
        m_failed = true;
        return;
    }
    ++m_count;
    m_yMin = std::min(m_yMin, yLo);
    m_yMax = std::max(m_yMax, yHi);
    if (!m_buckets) {
        m_out->push_back(segment);
        return;
    }
    const int first = yLo >> m_bandShift;
    const int span = ((yHi - 1) >> m_bandShift) - first;
    m_maxBandSpan = std::max(m_maxBandSpan, span);
    m_buckets[2 * first + (span > 0)].push_back(segment);
}

// Rounds a clipped (small, non-negative) coordinate to fixed point without a
// library call.
inline int32_t toFixed(double v)
{
    double scaled = v * kSubpixelScale + 0.5;
    int32_t truncated = int32_t(scaled);
    return truncated - (scaled < truncated);
}

// Line ends land on a quarter-pixel grid before clipping: the reference
// anti-aliasing counts 4x4 samples per pixel (at 1/8, 3/8, 5/8, 7/8), so an
// edge anywhere between two sample positions covers the same samples, and an
// edge 1/20 pixel past a pixel border leaves that pixel untouched.
inline double toEdgeGrid(double v)
{
    return std::floor(v * kEdgeGridPerPixel + 0.5) / kEdgeGridPerPixel;
}

void SegmentSink::emit(double x0, double y0, double x1, double y1, bool flipped)
{
    FixedSegment s{toFixed(x0), toFixed(y0), toFixed(x1), toFixed(y1)};
    if (s.y0 == s.y1)
        return;
    const int32_t yLo = s.y0, yHi = s.y1;
    if (flipped) {
        std::swap(s.x0, s.x1);
        std::swap(s.y0, s.y1);
    }
    push(s, yLo, yHi);
}

// Clipping works on the end points ordered by y, so a line shared by two
// regions splits identically whichever direction each region gives it.
void SegmentSink::line(Point a, Point b)
{
    a = {toEdgeGrid(a.x), toEdgeGrid(a.y)};
    b = {toEdgeGrid(b.x), toEdgeGrid(b.y)};
    // Most lines lie inside the surface and need no clipping. The test is
    // false for NaN, which takes the careful path below.
    if (a.x >= 0 && a.x < m_width && b.x >= 0 && b.x < m_width && a.y >= 0 && a.y <= m_height &&
        b.y >= 0 && b.y <= m_height) {
        if (a.y < b.y)
            emit(a.x, a.y, b.x, b.y, false);
        else if (a.y > b.y)
            emit(b.x, b.y, a.x, a.y, true);
        return;
    }
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) {
        m_failed = true;
        return;
    }
    auto limit = [](double v) { return std::clamp(v, -kCoordinateLimit, kCoordinateLimit); };
    a = {limit(a.x), limit(a.y)};
    b = {limit(b.x), limit(b.y)};
    if (a.y == b.y)
        return;
    const bool flipped = a.y > b.y;
    if (flipped)
        std::swap(a, b);
    if (b.y <= 0 || a.y >= m_height)
        return;
    const Point origin = a;
    const double slope = (b.x - a.x) / (b.y - a.y);
    if (a.y < 0)
        a = {origin.x + slope * (0 - origin.y), 0};
    if (b.y > m_height)
        b = {origin.x + slope * (m_height - origin.y), m_height};
    if (a.x >= m_width && b.x >= m_width)
        return;
    if (a.x <= 0 && b.x <= 0) {
        emit(0, a.y, 0, b.y, flipped);
        return;
    }
    // Split where the line crosses the left and right borders.
    double splits[2];
    int splitCount = 0;
    const double inverseSlope = (b.y - a.y) / (b.x - a.x);
    for (double border : {0.0, m_width}) {
        if ((a.x - border) * (b.x - border) < 0)
            splits[splitCount++] = a.y + (border - a.x) * inverseSlope;
    }
    if (splitCount == 2 && splits[0] > splits[1])
        std::swap(splits[0], splits[1]);
    double y = a.y;
    for (int i = 0; i <= splitCount; ++i) {
        double nextY = i < splitCount ? std::clamp(splits[i], y, b.y) : b.y;
        double midY = (y + nextY) / 2;
        double midX = a.x + (midY - a.y) * (b.x - a.x) / (b.y - a.y);
        if (midX < 0) {
            emit(0, y, 0, nextY, flipped);
        } else if (midX <= m_width) {
            double x0 = std::clamp(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y), 0.0, m_width);
            double x1 = std::clamp(a.x + (nextY - a.y) * (b.x - a.x) / (b.y - a.y), 0.0, m_width);
            emit(x0, y, x1, nextY, flipped);
        }
        y = nextY;
    }
}

namespace {

constexpr int kGridToFixed = kSubpixelScale / kEdgeGridPerPixel;

// A point snapped to the edge grid, in fixed point. The grid step of
// toEdgeGrid() needs no floor call on the surface, where the scaled
// coordinate is non-negative and truncation is the floor. A grid point is
// inside where line() needs no clipping: x in [0, width), y in [0, height],
// i.e. the scaled value below 4 * width, resp. 4 * height + 1. Lines between
// inside points need no clipping, and grid steps are exact in fixed point.
struct GridSnapper {
#if defined(__SSE2__)
    __m128d scale = _mm_set1_pd(kEdgeGridPerPixel);
    __m128d half = _mm_set1_pd(0.5);
    __m128d limit;
    using Fixed = __m128i;
    GridSnapper(double gridWidth, double gridHeight) : limit(_mm_set_pd(gridHeight, gridWidth)) {}

    // Lanes 0 and 1 of `fixed` hold x and y, valid when inside.
    bool snap(const Point& p, __m128i& fixed) const
    {
        static_assert(sizeof(Point) == 2 * sizeof(double));
        const __m128d v = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(&p.x), scale), half);
        // False for NaN, which line() then rejects.
        const __m128d in = _mm_and_pd(_mm_cmpge_pd(v, _mm_setzero_pd()), _mm_cmplt_pd(v, limit));
        if (_mm_movemask_pd(in) != 3)
            return false;
        fixed = _mm_slli_epi32(_mm_cvttpd_epi32(v), kSubpixelBits - 2);
        return true;
    }
    static int32_t y(__m128i fixed)
    {
        return _mm_cvtsi128_si32(_mm_srli_si128(fixed, 4));
    }
    static FixedSegment segment(__m128i from, __m128i to)
    {
        FixedSegment s;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&s), _mm_unpacklo_epi64(from, to));
        return s;
    }
#else
    double gridWidth, gridHeight;
    GridSnapper(double width, double height) : gridWidth(width), gridHeight(height) {}

    struct Fixed {
        int32_t x, y;
    };
    bool snap(const Point& p, Fixed& fixed) const
    {
        const double x = p.x * kEdgeGridPerPixel + 0.5;
        const double y = p.y * kEdgeGridPerPixel + 0.5;
        if (!((x >= 0) & (x < gridWidth) & (y >= 0) & (y < gridHeight)))
            return false;
        fixed = {int32_t(x) * kGridToFixed, int32_t(y) * kGridToFixed};
        return true;
    }
    static int32_t y(Fixed fixed)
    {
        return fixed.y;
    }
    static FixedSegment segment(Fixed from, Fixed to)
    {
        return {from.x, from.y, to.x, to.y};
    }
#endif
};
static_assert(kSubpixelScale / kEdgeGridPerPixel == 1 << (kSubpixelBits - 2));

} // namespace

template <bool kReversed>
void SegmentSink::addPolyline(const Point* points, size_t count)
{
    const GridSnapper grid(m_gridWidth, m_gridHeight);
    // The running bounds stay in locals, merged at the end: the segment
    // stores could alias the members and force reloads.
    int32_t yMin = INT32_MAX, yMax = INT32_MIN;
    int maxSpan = 0;
    size_t added = m_count;
    const size_t limit = m_limit;
    std::vector<FixedSegment>* const buckets = m_buckets;
    const int bandShift = m_bandShift;
    GridSnapper::Fixed previous{};
    bool previousInside = false;
    for (size_t i = 0; i < count; ++i) {
        GridSnapper::Fixed next{};
        const bool inside = grid.snap(points[i], next);
        if (!inside || !previousInside) {
            if (i > 0) {
                m_count = added;
                if (kReversed)
                    line(points[i], points[i - 1]);
                else
                    line(points[i - 1], points[i]);
                added = m_count;
            }
            previousInside = inside;
            previous = next;
            continue;
        }
        const int32_t y0 = GridSnapper::y(previous), y1 = GridSnapper::y(next);
        if (y0 != y1) {
            if (added >= limit) {
                m_failed = true;
                break;
            }
            const FixedSegment segment = kReversed ? GridSnapper::segment(next, previous)
                                                   : GridSnapper::segment(previous, next);
            const int32_t yLo = std::min(y0, y1), yHi = std::max(y0, y1);
            ++added;
            yMin = std::min(yMin, yLo);
            yMax = std::max(yMax, yHi);
            if (buckets) {
                const int band = yLo >> bandShift;
                const int span = ((yHi - 1) >> bandShift) - band;
                maxSpan = std::max(maxSpan, span);
                buckets[2 * band + (span > 0)].push_back(segment);
            } else {
                m_out->push_back(segment);
            }
        }
        previous = next;
    }
    m_yMin = std::min(m_yMin, yMin);
    m_yMax = std::max(m_yMax, yMax);
    m_maxBandSpan = std::max(m_maxBandSpan, maxSpan);
    m_count = added;
}

void SegmentSink::polyline(const Point* points, size_t count, bool reversed)
{
    if (count < 2)
        return;
    if (reversed)
        addPolyline<true>(points, count);
    else
        addPolyline<false>(points, count);
}

void SegmentSink::polygon(const Point* points, size_t count)
{
    if (count < 2)
        return;
    polyline(points, count);
    line(points[count - 1], points[0]);
}

void flattenQuadratic(Point p0, Point control, Point p1, std::vector<Point>& out)
{
    const Point bend = p0 - control * 2 + p1;
    const double deviation = std::sqrt(dot(bend, bend));
    int steps = 1;
    if (deviation > 0 && std::isfinite(deviation))
        steps = int(std::min<double>(kMaxCurveSteps,
                                     std::ceil(std::sqrt(deviation / (4 * kFlatteningTolerance)))));
    for (int i = 1; i < steps; ++i) {
        double t = double(i) / steps, u = 1 - t;
        out.push_back(p0 * (u * u) + control * (2 * u * t) + p1 * (t * t));
    }
    out.push_back(p1);
}

void Stroker::addArc(Point at, Point from, Point towards, double angle, std::vector<Point>& out)
{
    int steps = arcSteps(angle, m_arcMaxStep);
    if (out.size() > kMaxOutlinePoints)
        steps = 1;
    for (int i = 1; i <= steps; ++i) {
        double theta = angle * i / steps;
        out.push_back(at + from * std::cos(theta) + towards * std::sin(theta));
    }
}

// A round join: the arc's points but the last, then the exact end point.
void Stroker::addRoundJoin(Point at, Point dirIn, Point dirOut, std::vector<Point>& out)
{
    const double w = m_style.halfWidth;
    const double sine = std::fabs(cross(dirIn, dirOut)), cosine = dot(dirIn, dirOut);
    // Most turns of a flattened curve fit in one chord; then the arc is the
    // end point alone and its angle is not needed. The test keeps a margin
    // far above rounding, so it never claims one chord where the angle
    // would have asked for two.
    if (cosine > 0 && sine <= cosine * m_oneChordTangent) {
        out.push_back(at + perpendicular(dirOut) * w);
        return;
    }
    const double angle = std::atan2(sine, cosine);
    int steps = arcSteps(angle, m_arcMaxStep);
    if (out.size() > kMaxOutlinePoints)
        steps = 1;
    const Point from = perpendicular(dirIn) * w, towards = dirIn * w;
    for (int i = 1; i < steps; ++i) {
        double theta = angle * i / steps;
        out.push_back(at + from * std::cos(theta) + towards * std::sin(theta));
    }
    out.push_back(at + perpendicular(dirOut) * w);
}

// Joins the left offsets of two consecutive segments at `at`. On the inner
// side of the turn the outline passes through the centre point, which keeps
// the winding positive where the offsets overlap.
void Stroker::addJoin(Point at, Point dirIn, Point dirOut, double shortest, std::vector<Point>& out)
{
    const double w = m_style.halfWidth;
    const Point normalIn = perpendicular(dirIn) * w;
    const Point normalOut = perpendicular(dirOut) * w;
    if (dot(dirOut, perpendicular(dirIn)) > 1e-12) {
        // Where the two inner offsets cross, if that lies within both
        // segments: a clean corner. Otherwise through the centre point.
        const Point sum = normalIn + normalOut;
        const double length2 = dot(sum, sum);
        if (length2 > 1e-12 * w * w) {
            const Point corner = at + sum * (2 * w * w / length2);
            if (std::fabs(dot(corner - at, dirIn)) <= shortest / 2) {
                out.back() = corner;
                return;
            }
        }
        out.push_back(at);
        out.push_back(at + normalOut);
        return;
    }
    switch (m_style.join) {
    case swf::JoinStyle::Round: addRoundJoin(at, dirIn, dirOut, out); return;
    case swf::JoinStyle::Miter: {
        const Point sum = normalIn + normalOut;
        const double length2 = dot(sum, sum);
        if (length2 > 1e-12 * w * w) {
            const double ratio = 2 * w / std::sqrt(length2);
            if (ratio <= m_style.miterLimit) {
                out.push_back(at + sum * (2 * w * w / length2));
            } else {
                // Beyond the limit the miter is cut off square to its axis.
                const Point axis = sum * (1 / std::sqrt(length2));
                const double along = dot(dirIn, axis);
                if (along > 1e-9) {
                    const double t = (m_style.miterLimit * w - dot(normalIn, axis)) / along;
                    out.push_back(at + normalIn + dirIn * t);
                    out.push_back(at + normalOut - dirOut * t);
                }
            }
        }
        out.push_back(at + normalOut);
        return;
    }
    case swf::JoinStyle::Bevel: out.push_back(at + normalOut); return;
    }
}

// From the left offset of the end point round to its right offset.
void Stroker::addCap(Point at, Point dir, swf::CapStyle cap, std::vector<Point>& out)
{
    const double w = m_style.halfWidth;
    const Point normal = perpendicular(dir) * w;
    if (cap == swf::CapStyle::Round) {
        addArc(at, normal, dir * w, std::numbers::pi, out);
    } else if (cap == swf::CapStyle::Square) {
        out.push_back(at + normal + dir * w);
        out.push_back(at - normal + dir * w);
    }
}

void Stroker::addDot(Point at, SegmentSink& sink)
{
    const double w = m_style.halfWidth;
    m_outline.clear();
    if (m_style.startCap == swf::CapStyle::Round) {
        m_outline.push_back(at + Point{w, 0});
        addArc(at, {w, 0}, {0, w}, 2 * std::numbers::pi, m_outline);
    } else if (m_style.startCap == swf::CapStyle::Square) {
        m_outline = {at + Point{-w, -w}, at + Point{w, -w}, at + Point{w, w}, at + Point{-w, w}};
    }
    sink.polygon(m_outline.data(), m_outline.size());
}

void Stroker::stroke(const Point* points, size_t count, bool closed, const StrokeStyle& style,
                     SegmentSink& sink)
{
    m_style = style;
    m_arcMaxStep = arcMaxStep(style.halfWidth);
    m_oneChordTangent = std::tan(m_arcMaxStep) * (1 - 1e-9);
    m_points.clear();
    for (size_t i = 0; i < count; ++i) {
        if (m_points.empty() || points[i].x != m_points.back().x ||
            points[i].y != m_points.back().y)
            m_points.push_back(points[i]);
    }
    if (closed && m_points.size() > 1 && m_points.front().x == m_points.back().x &&
        m_points.front().y == m_points.back().y)
        m_points.pop_back();
    if (m_points.size() < 3)
        closed = false;
    if (m_points.size() == 1) {
        addDot(m_points[0], sink);
        return;
    }
    const size_t n = m_points.size();
    const size_t segments = closed ? n : n - 1;
    m_directions.resize(segments);
    m_lengths.resize(segments);
    for (size_t i = 0; i < segments; ++i) {
        Point d = m_points[(i + 1) % n] - m_points[i];
        double length = std::sqrt(dot(d, d));
        m_directions[i] = length > 0 ? d * (1 / length) : Point{1, 0};
        m_lengths[i] = length;
    }
    const double w = style.halfWidth;
    // One side of the outline: the left offsets walking the points forward
    // (reversed == false) or backward.
    auto side = [&](bool reversed, std::vector<Point>& out) {
        auto point = [&](size_t i) { return m_points[reversed ? n - 1 - i : i]; };
        auto index = [&](size_t i) { return reversed ? segments - 1 - i : i; };
        auto direction = [&](size_t i) { return m_directions[index(i)] * (reversed ? -1.0 : 1.0); };
        auto shortest = [&](size_t a, size_t b) { return std::min(m_lengths[a], m_lengths[b]); };
        if (!closed) {
            out.push_back(point(0) + perpendicular(direction(0)) * w);
            for (size_t i = 1; i < segments; ++i) {
                out.push_back(point(i) + perpendicular(direction(i - 1)) * w);
                addJoin(point(i), direction(i - 1), direction(i), shortest(index(i - 1), index(i)),
                        out);
            }
            out.push_back(point(segments) + perpendicular(direction(segments - 1)) * w);
            return;
        }
        // Around a closed loop, the segments into and out of the i-th point
        // walked: forward, i - 1 and i (segment k runs from point k);
        // backward, the point is n - 1 - i and they are n - 1 - i and the
        // one before it, both reversed.
        const double sign = reversed ? -1.0 : 1.0;
        for (size_t i = 0; i < n; ++i) {
            const size_t at = reversed ? n - 1 - i : i;
            const size_t inIndex = reversed ? n - 1 - i : (i == 0 ? n - 1 : i - 1);
            const size_t outIndex = reversed ? (i == n - 1 ? n - 1 : n - 2 - i) : i;
            const Point in = m_directions[inIndex] * sign;
            out.push_back(m_points[at] + perpendicular(in) * w);
            addJoin(m_points[at], in, m_directions[outIndex] * sign, shortest(inIndex, outIndex),
                    out);
        }
    };
    m_outline.clear();
    side(false, m_outline);
    if (m_outline.size() > kMaxOutlinePoints) {
        sink.fail();
        return;
    }
    if (closed) {
        sink.polygon(m_outline.data(), m_outline.size());
        m_outline.clear();
        side(true, m_outline);
        sink.polygon(m_outline.data(), m_outline.size());
        return;
    }
    addCap(m_points[n - 1], m_directions[segments - 1], style.endCap, m_outline);
    m_back.clear();
    side(true, m_back);
    m_outline.insert(m_outline.end(), m_back.begin(), m_back.end());
    addCap(m_points[0], m_directions[0] * -1.0, style.startCap, m_outline);
    sink.polygon(m_outline.data(), m_outline.size());
}

} // namespace zf::raster
