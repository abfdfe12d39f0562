#include "swf/shape.h"

#include <algorithm>
#include <cmath>

namespace zf::swf {

Bounds Shape::computeBounds() const
{
    Bounds b;
    for (const ShapeGroup& g : groups) {
        for (const Edge& e : g.edges) {
            b.add(e.x0, e.y0);
            b.add(e.x1, e.y1);
            if (e.curved)
                b.add(e.cx, e.cy);
        }
    }
    return b;
}

namespace {

double lerp(double a, double b, double t)
{
    return a + (b - a) * t;
}

int32_t lerpTwips(int32_t a, int32_t b, double t)
{
    return int32_t(std::lround(lerp(a, b, t)));
}

uint8_t lerpByte(uint8_t a, uint8_t b, double t)
{
    return uint8_t(std::clamp(std::lround(lerp(a, b, t)), 0L, 255L));
}

Rgba lerpColor(Rgba a, Rgba b, double t)
{
    return {lerpByte(a.r, b.r, t), lerpByte(a.g, b.g, t), lerpByte(a.b, b.b, t),
            lerpByte(a.a, b.a, t)};
}

Matrix lerpMatrix(const Matrix& a, const Matrix& b, double t)
{
    return {lerp(a.a, b.a, t), lerp(a.b, b.b, t),   lerp(a.c, b.c, t),
            lerp(a.d, b.d, t), lerp(a.tx, b.tx, t), lerp(a.ty, b.ty, t)};
}

FillStyle lerpFill(const FillStyle& a, const FillStyle& b, double t)
{
    FillStyle out = a;
    out.color = lerpColor(a.color, b.color, t);
    out.matrix = lerpMatrix(a.matrix, b.matrix, t);
    out.gradient.focalPoint = lerp(a.gradient.focalPoint, b.gradient.focalPoint, t);
    size_t stops = std::min(a.gradient.stops.size(), b.gradient.stops.size());
    out.gradient.stops.resize(stops);
    for (size_t i = 0; i < stops; ++i) {
        out.gradient.stops[i].ratio =
            lerpByte(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t);
        out.gradient.stops[i].color =
            lerpColor(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
    }
    return out;
}

RectTwips lerpRect(const RectTwips& a, const RectTwips& b, double t)
{
    return {lerpTwips(a.xMin, b.xMin, t), lerpTwips(a.xMax, b.xMax, t),
            lerpTwips(a.yMin, b.yMin, t), lerpTwips(a.yMax, b.yMax, t)};
}

} // namespace

Shape MorphShape::at(double t) const
{
    if (!(t >= 0))
        t = 0; // also catches NaN
    t = std::min(t, 1.0);
    Shape shape;
    shape.bounds = lerpRect(startBounds, endBounds, t);
    ShapeGroup& group = shape.groups.emplace_back();
    group.fills.reserve(startFills.size());
    for (size_t i = 0; i < startFills.size(); ++i)
        group.fills.push_back(i < endFills.size() ? lerpFill(startFills[i], endFills[i], t)
                                                  : startFills[i]);
    group.lines.reserve(startLines.size());
    for (size_t i = 0; i < startLines.size(); ++i) {
        LineStyle line = startLines[i];
        if (i < endLines.size()) {
            const LineStyle& end = endLines[i];
            line.width = uint16_t(std::lround(lerp(line.width, end.width, t)));
            line.color = lerpColor(line.color, end.color, t);
            if (line.hasFill)
                line.fill = lerpFill(line.fill, end.fill, t);
        }
        group.lines.push_back(line);
    }
    // Straight edges already carry their midpoint as control point, so a
    // straight edge paired with a curve interpolates like a curve.
    size_t count = std::min(startEdges.size(), endEdges.size());
    group.edges.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const Edge& a = startEdges[i];
        const Edge& b = endEdges[i];
        Edge edge = a;
        edge.x0 = lerpTwips(a.x0, b.x0, t);
        edge.y0 = lerpTwips(a.y0, b.y0, t);
        edge.cx = lerpTwips(a.cx, b.cx, t);
        edge.cy = lerpTwips(a.cy, b.cy, t);
        edge.x1 = lerpTwips(a.x1, b.x1, t);
        edge.y1 = lerpTwips(a.y1, b.y1, t);
        edge.curved = a.curved || b.curved;
        group.edges.push_back(edge);
    }
    return shape;
}

} // namespace zf::swf
