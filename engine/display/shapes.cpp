// Geometry on shape records: point-in-shape tests for hit testing and the
// drawing API that builds shapes from script calls.
#include "display/display_p.h"

#include <cmath>

namespace zf::display {

namespace {

// Curves are split into this many straight pieces for hit testing; plenty
// for a pointer that is itself a pixel wide.
constexpr int kCurvePieces = 8;

struct Segment {
    double x0, y0, x1, y1;
};

template <class F>
void forEachSegment(const swf::Edge& e, F&& f)
{
    if (!e.curved) {
        f(Segment{double(e.x0), double(e.y0), double(e.x1), double(e.y1)});
        return;
    }
    double px = e.x0, py = e.y0;
    for (int i = 1; i <= kCurvePieces; ++i) {
        double t = double(i) / kCurvePieces, u = 1 - t;
        double x = u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1;
        double y = u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1;
        f(Segment{px, py, x, y});
        px = x;
        py = y;
    }
}

double distanceSquared(const Segment& s, Point p)
{
    double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    double length = dx * dx + dy * dy;
    double t =
        length > 0 ? std::clamp(((p.x - s.x0) * dx + (p.y - s.y0) * dy) / length, 0.0, 1.0) : 0.0;
    double ex = s.x0 + t * dx - p.x, ey = s.y0 + t * dy - p.y;
    return ex * ex + ey * ey;
}

bool groupContains(const swf::ShapeGroup& group, bool nonZero, Point p)
{
    size_t fillCount = group.fills.size();
    std::vector<int> crossings(fillCount + 1, 0), winding(fillCount + 1, 0);
    for (const swf::Edge& edge : group.edges) {
        if (edge.line >= 1 && edge.line <= group.lines.size()) {
            // Hairlines still take a pixel to hit.
            double half = std::max(group.lines[edge.line - 1].width / 2.0, kTwipsPerPixel / 2);
            bool near = false;
            forEachSegment(edge, [&](const Segment& s) {
                near = near || distanceSquared(s, p) <= half * half;
            });
            if (near)
                return true;
        }
        if (edge.fill0 == edge.fill1)
            continue;
        forEachSegment(edge, [&](const Segment& s) {
            if ((s.y0 <= p.y) == (s.y1 <= p.y))
                return;
            double x = s.x0 + (p.y - s.y0) * (s.x1 - s.x0) / (s.y1 - s.y0);
            if (x <= p.x)
                return;
            int direction = s.y1 > s.y0 ? 1 : -1;
            // The right-hand fill sees the edge as drawn; the left-hand fill
            // sees it reversed.
            if (edge.fill1 >= 1 && edge.fill1 <= fillCount) {
                ++crossings[edge.fill1];
                winding[edge.fill1] += direction;
            }
            if (edge.fill0 >= 1 && edge.fill0 <= fillCount) {
                ++crossings[edge.fill0];
                winding[edge.fill0] -= direction;
            }
        });
    }
    for (size_t f = 1; f <= fillCount; ++f) {
        if (nonZero ? winding[f] != 0 : (crossings[f] & 1))
            return true;
    }
    return false;
}

} // namespace

bool shapeContains(const swf::Shape& shape, Point point)
{
    for (const auto& group : shape.groups) {
        if (groupContains(group, shape.nonZeroWinding, point))
            return true;
    }
    return false;
}

Bounds shapeBounds(const swf::Shape& shape)
{
    Bounds b = shape.computeBounds();
    if (b.empty())
        return b;
    // Strokes reach half their width beyond the edges.
    double half = 0;
    for (const auto& group : shape.groups) {
        for (const auto& line : group.lines)
            half = std::max(half, line.width / 2.0);
    }
    b.xMin -= half;
    b.yMin -= half;
    b.xMax += half;
    b.yMax += half;
    return b;
}

// --- Drawing API -------------------------------------------------------------

void Drawing::clear()
{
    *this = Drawing{};
}

bool Drawing::empty() const
{
    for (const auto& group : m_shape.groups) {
        if (!group.edges.empty())
            return false;
    }
    return m_fillEdges.empty();
}

const swf::Shape& Drawing::shape() const
{
    return m_shape;
}

void Drawing::flushStyles()
{
    if (m_shape.groups.empty())
        m_shape.groups.emplace_back();
}

void Drawing::lineStyle(std::optional<double> widthTwips, Rgba color)
{
    flushStyles();
    if (!widthTwips || !std::isfinite(*widthTwips)) {
        m_line = 0;
        return;
    }
    swf::LineStyle style;
    style.width = uint16_t(std::clamp(*widthTwips, 0.0, 255.0 * kTwipsPerPixel));
    style.color = color;
    auto& group = m_shape.groups.back();
    group.lines.push_back(style);
    m_line = uint32_t(group.lines.size());
}

void Drawing::beginFill(Rgba color)
{
    swf::FillStyle style;
    style.color = color;
    beginGradientFill(style);
}

void Drawing::beginGradientFill(const swf::FillStyle& style)
{
    closeFill();
    // Each fill draws above the earlier ones: give it a group of its own,
    // carrying the current line style over.
    std::optional<swf::LineStyle> line;
    if (!m_shape.groups.empty() && m_line >= 1)
        line = m_shape.groups.back().lines[m_line - 1];
    m_shape.groups.emplace_back();
    m_line = 0;
    if (line) {
        m_shape.groups.back().lines.push_back(*line);
        m_line = 1;
    }
    m_fill = style;
    m_shape.groups.back().fills.push_back(style);
    m_startX = m_x;
    m_startY = m_y;
}

void Drawing::endFill()
{
    closeFill();
    m_fill.reset();
}

void Drawing::closeFill()
{
    if (!m_fill || m_shape.groups.empty())
        return;
    if (m_x != m_startX || m_y != m_startY) {
        // The fill closes itself with an unstroked edge back to its start.
        uint32_t saved = m_line;
        m_line = 0;
        lineTo(m_startX, m_startY);
        m_line = saved;
    }
    m_fillEdges.clear();
}

void Drawing::moveTo(double x, double y)
{
    closeFill();
    m_x = m_startX = x;
    m_y = m_startY = y;
}

namespace {
int32_t twips(double v)
{
    return int32_t(std::clamp(std::round(v), -1.0e9, 1.0e9));
}
} // namespace

void Drawing::lineTo(double x, double y)
{
    if (!std::isfinite(x) || !std::isfinite(y))
        return;
    curveTo((m_x + x) / 2, (m_y + y) / 2, x, y);
    m_shape.groups.back().edges.back().curved = false;
}

void Drawing::curveTo(double controlX, double controlY, double x, double y)
{
    if (!std::isfinite(controlX) || !std::isfinite(controlY) || !std::isfinite(x) ||
        !std::isfinite(y))
        return;
    flushStyles();
    swf::Edge edge;
    edge.x0 = twips(m_x);
    edge.y0 = twips(m_y);
    edge.cx = twips(controlX);
    edge.cy = twips(controlY);
    edge.x1 = twips(x);
    edge.y1 = twips(y);
    edge.curved = true;
    edge.fill1 = m_fill ? uint32_t(m_shape.groups.back().fills.size()) : 0;
    edge.line = m_line;
    m_shape.groups.back().edges.push_back(edge);
    if (m_fill)
        m_fillEdges.push_back(edge);
    m_x = x;
    m_y = y;
}

} // namespace zf::display
