#include "raster/geometry_p.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

int arcSteps(double angle, double radius)
{
    double maxStep = std::numbers::pi / 2;
    if (radius > kArcTolerance)
        maxStep = std::min(maxStep, 2 * std::acos(1 - kArcTolerance / radius));
    return std::clamp(int(std::ceil(angle / maxStep)), 1, 256);
}

} // namespace

SegmentSink::SegmentSink(std::vector<FixedSegment>& out, int width, int height, size_t limit)
    : m_out(out), m_width(width), m_height(height), m_limit(limit)
{
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
    if (m_out.size() >= m_limit) {
        m_failed = true;
        return;
    }
    m_yMin = std::min(m_yMin, s.y0);
    m_yMax = std::max(m_yMax, s.y1);
    if (flipped) {
        std::swap(s.x0, s.x1);
        std::swap(s.y0, s.y1);
    }
    m_out.push_back(s);
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

void SegmentSink::polygon(const Point* points, size_t count)
{
    if (count < 2)
        return;
    for (size_t i = 0; i + 1 < count; ++i)
        line(points[i], points[i + 1]);
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
    int steps = arcSteps(angle, m_style.halfWidth);
    if (out.size() > kMaxOutlinePoints)
        steps = 1;
    for (int i = 1; i <= steps; ++i) {
        double theta = angle * i / steps;
        out.push_back(at + from * std::cos(theta) + towards * std::sin(theta));
    }
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
    case swf::JoinStyle::Round: {
        double angle = std::atan2(std::fabs(cross(dirIn, dirOut)), dot(dirIn, dirOut));
        addArc(at, normalIn, dirIn * w, angle, out);
        out.back() = at + normalOut;
        return;
    }
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
        // In a closed loop walked backward, segment i runs from point i.
        auto loopIndex = [&](size_t i) { return reversed ? (2 * n - 2 - i) % n : i % n; };
        auto loopDirection = [&](size_t i) {
            return m_directions[loopIndex(i)] * (reversed ? -1.0 : 1.0);
        };
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
        for (size_t i = 0; i < n; ++i) {
            Point in = loopDirection(i + n - 1);
            out.push_back(point(i) + perpendicular(in) * w);
            addJoin(point(i), in, loopDirection(i), shortest(loopIndex(i + n - 1), loopIndex(i)),
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
