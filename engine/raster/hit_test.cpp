#include "raster/raster.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace zf::raster {
namespace {

// Curves are flattened in twips for hit testing; one twip is far below what
// a pointer can resolve.
constexpr double kHitTolerance = 1.0;
constexpr int kMaxHitSteps = 64;
// Hairlines are one pixel wide on screen; hits use half of that.
constexpr double kMinimumHalfWidth = kTwipsPerPixel / 2;

double distanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

template <class Visit>
void forEachSegment(const swf::Edge& edge, Visit&& visit)
{
    const Point start{double(edge.x0), double(edge.y0)};
    const Point end{double(edge.x1), double(edge.y1)};
    if (!edge.curved) {
        visit(start, end);
        return;
    }
    const Point control{double(edge.cx), double(edge.cy)};
    const double bx = start.x - 2 * control.x + end.x, by = start.y - 2 * control.y + end.y;
    const int steps = std::clamp(
        int(std::ceil(std::sqrt(std::hypot(bx, by) / (4 * kHitTolerance)))), 1, kMaxHitSteps);
    Point previous = start;
    for (int i = 1; i <= steps; ++i) {
        const double t = double(i) / steps, u = 1 - t;
        const Point next = i == steps
                               ? end
                               : Point{u * u * start.x + 2 * u * t * control.x + t * t * end.x,
                                       u * u * start.y + 2 * u * t * control.y + t * t * end.y};
        visit(previous, next);
        previous = next;
    }
}

bool hitGroup(const swf::ShapeGroup& group, bool nonZero, Point p, std::vector<int>& winding)
{
    winding.assign(group.fills.size() + 1, 0);
    for (const swf::Edge& edge : group.edges) {
        const bool stroked = edge.line >= 1 && edge.line <= group.lines.size();
        const bool filled = edge.fill0 != edge.fill1;
        if (!stroked && !filled)
            continue;
        const double halfWidth =
            stroked ? std::max(kMinimumHalfWidth, group.lines[edge.line - 1].width / 2.0) : 0;
        bool onStroke = false;
        forEachSegment(edge, [&](Point a, Point b) {
            if (stroked && distanceToSegment(p, a, b) <= halfWidth)
                onStroke = true;
            // A ray to the right; each crossing has direction +1 downwards.
            if (!filled || (a.y <= p.y) == (b.y <= p.y))
                return;
            const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
            if (x <= p.x)
                return;
            const int direction = b.y > a.y ? 1 : -1;
            if (edge.fill1 < winding.size())
                winding[edge.fill1] += direction;
            if (edge.fill0 < winding.size())
                winding[edge.fill0] -= direction;
        });
        if (onStroke)
            return true;
    }
    for (size_t style = 1; style < winding.size(); ++style) {
        if (nonZero ? winding[style] != 0 : (winding[style] & 1) != 0)
            return true;
    }
    return false;
}

} // namespace

bool hitTest(const swf::Shape& shape, Point twips)
{
    if (!std::isfinite(twips.x) || !std::isfinite(twips.y))
        return false;
    std::vector<int> winding;
    for (const swf::ShapeGroup& group : shape.groups) {
        if (hitGroup(group, shape.nonZeroWinding, twips, winding))
            return true;
    }
    return false;
}

} // namespace zf::raster
