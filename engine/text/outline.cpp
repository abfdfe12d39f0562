#include "text/outline_p.h"

#include <algorithm>
#include <cmath>

namespace zf::text {
namespace {

Point lerp(Point a, Point b, double t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

struct OutlineBuilder {
    swf::ShapeGroup* group = nullptr;
    double scale = 1;
    uint32_t fillLeft = 1, fillRight = 0;
    Point current, start;
    bool open = false;

    Point toPoint(const FT_Vector* v) const
    {
        return {double(v->x) * scale, -double(v->y) * scale};
    }

    void add(Point from, Point control, Point to, bool curved)
    {
        auto round = [](double v) { return int32_t(std::lround(std::clamp(v, -1e9, 1e9))); };
        swf::Edge edge;
        edge.x0 = round(from.x), edge.y0 = round(from.y);
        edge.x1 = round(to.x), edge.y1 = round(to.y);
        edge.curved = curved;
        if (curved) {
            edge.cx = round(control.x), edge.cy = round(control.y);
        } else {
            edge.cx = int32_t((int64_t(edge.x0) + edge.x1) / 2);
            edge.cy = int32_t((int64_t(edge.y0) + edge.y1) / 2);
        }
        if (edge.x0 == edge.x1 && edge.y0 == edge.y1 &&
            (!curved || (edge.cx == edge.x0 && edge.cy == edge.y0)))
            return;
        edge.fill0 = fillLeft;
        edge.fill1 = fillRight;
        group->edges.push_back(edge);
    }

    void close()
    {
        if (open && (current.x != start.x || current.y != start.y))
            add(current, current, start, false);
        open = false;
    }
};

OutlineBuilder& builder(void* user)
{
    return *static_cast<OutlineBuilder*>(user);
}

int moveTo(const FT_Vector* to, void* user)
{
    OutlineBuilder& b = builder(user);
    b.close();
    b.current = b.start = b.toPoint(to);
    b.open = true;
    return 0;
}

int lineTo(const FT_Vector* to, void* user)
{
    OutlineBuilder& b = builder(user);
    Point end = b.toPoint(to);
    b.add(b.current, b.current, end, false);
    b.current = end;
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user)
{
    OutlineBuilder& b = builder(user);
    Point end = b.toPoint(to);
    b.add(b.current, b.toPoint(control), end, true);
    b.current = end;
    return 0;
}

int cubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void* user)
{
    OutlineBuilder& b = builder(user);
    Point end = b.toPoint(to);
    for (auto [control, pieceEnd] :
         cubicToQuadratics(b.current, b.toPoint(control1), b.toPoint(control2), end, 0.5)) {
        b.add(b.current, control, pieceEnd, true);
        b.current = pieceEnd;
    }
    b.current = end;
    return 0;
}

} // namespace

std::vector<std::pair<Point, Point>> cubicToQuadratics(Point p0, Point c1, Point c2, Point p3,
                                                       double tolerance)
{
    // The distance between a cubic and the quadratic through its end points
    // with control (3 (c1 + c2) - p0 - p3) / 4 is at most sqrt(3)/36 times
    // |p3 - 3 c2 + 3 c1 - p0|, and shrinks with the cube of the piece length.
    double dx = p3.x - 3 * c2.x + 3 * c1.x - p0.x, dy = p3.y - 3 * c2.y + 3 * c1.y - p0.y;
    double error = std::sqrt(dx * dx + dy * dy) * std::sqrt(3.0) / 36.0;
    double wanted = std::cbrt(error / std::max(tolerance, 1e-6));
    int pieces = std::isfinite(wanted) ? std::clamp(int(std::ceil(wanted)), 1, 16) : 16;
    std::vector<std::pair<Point, Point>> out;
    Point rest0 = p0, restControl1 = c1, restControl2 = c2; // the part not yet emitted
    for (int i = 0; i < pieces; ++i) {
        // Split the remaining curve at the fraction that leaves equal pieces.
        double t = 1.0 / double(pieces - i);
        Point a = lerp(rest0, restControl1, t), b = lerp(restControl1, restControl2, t),
              c = lerp(restControl2, p3, t);
        Point ab = lerp(a, b, t), bc = lerp(b, c, t);
        Point split = lerp(ab, bc, t);
        Point q0 = rest0, q1 = a, q2 = ab, q3 = i == pieces - 1 ? p3 : split;
        Point control{(3 * (q1.x + q2.x) - q0.x - q3.x) / 4, (3 * (q1.y + q2.y) - q0.y - q3.y) / 4};
        out.push_back({control, q3});
        rest0 = split, restControl1 = bc, restControl2 = c;
    }
    return out;
}

swf::Shape convertOutline(const FT_Outline& outline, double scale)
{
    swf::Shape shape;
    shape.nonZeroWinding = true; // TrueType contours may overlap
    swf::ShapeGroup& group = shape.groups.emplace_back();
    swf::FillStyle fill;
    fill.color = {0, 0, 0, 255};
    group.fills.push_back(fill);
    OutlineBuilder builder;
    builder.group = &group;
    builder.scale = scale;
    // TrueType outer contours run clockwise with y up, so after flipping
    // the inside lies left of travel; PostScript outlines run the other way.
    if (FT_Outline_Get_Orientation(const_cast<FT_Outline*>(&outline)) == FT_ORIENTATION_POSTSCRIPT)
        builder.fillLeft = 0, builder.fillRight = 1;
    FT_Outline_Funcs funcs{};
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    FT_Outline_Decompose(const_cast<FT_Outline*>(&outline), &funcs, &builder);
    builder.close();
    Bounds box = shape.computeBounds();
    if (!box.empty())
        shape.bounds = {int32_t(std::floor(box.xMin)), int32_t(std::ceil(box.xMax)),
                        int32_t(std::floor(box.yMin)), int32_t(std::ceil(box.yMax))};
    return shape;
}

} // namespace zf::text
