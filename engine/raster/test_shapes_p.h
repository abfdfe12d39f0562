// Shape-building and rendering helpers shared by the renderer's tests.
#pragma once

#include "raster/raster.h"

#include <cstdint>
#include <initializer_list>
#include <map>
#include <vector>

namespace zf::raster::testing {

// Edges of a closed polygon (twips) with the given fill on the right and
// line style on every edge.
inline void addPolygon(swf::ShapeGroup& group, std::initializer_list<Point> points, uint32_t fill1,
                       uint32_t line = 0, uint32_t fill0 = 0)
{
    std::vector<Point> p(points);
    for (size_t i = 0; i < p.size(); ++i) {
        const Point& a = p[i];
        const Point& b = p[(i + 1) % p.size()];
        swf::Edge edge;
        edge.x0 = int32_t(a.x), edge.y0 = int32_t(a.y);
        edge.x1 = int32_t(b.x), edge.y1 = int32_t(b.y);
        edge.cx = (edge.x0 + edge.x1) / 2, edge.cy = (edge.y0 + edge.y1) / 2;
        edge.fill0 = fill0, edge.fill1 = fill1, edge.line = line;
        group.edges.push_back(edge);
    }
}

// Rectangle in pixels, clockwise on screen so the fill is on the right.
inline void addRect(swf::ShapeGroup& group, double x0, double y0, double x1, double y1,
                    uint32_t fill1, uint32_t line = 0)
{
    addPolygon(group,
               {{x0 * 20, y0 * 20}, {x1 * 20, y0 * 20}, {x1 * 20, y1 * 20}, {x0 * 20, y1 * 20}},
               fill1, line);
}

inline swf::FillStyle solidFill(Rgba color)
{
    swf::FillStyle fill;
    fill.color = color;
    return fill;
}

inline swf::LineStyle solidLine(double widthPixels, Rgba color)
{
    swf::LineStyle line;
    line.width = uint16_t(widthPixels * 20);
    line.color = color;
    return line;
}

inline const Matrix kTwipsToPixels = Matrix::scale(1 / 20.0, 1 / 20.0);

struct Canvas {
    int width;
    int height;
    std::vector<uint8_t> pixels;

    Canvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h * 4) {}
    Surface surface() { return {pixels.data(), width, height, width * 4}; }
    Rgba at(int x, int y) const
    {
        const uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

class MapBitmaps : public BitmapSource {
public:
    std::map<uint16_t, Bitmap> bitmaps;
    const Bitmap* bitmap(uint16_t id) const override
    {
        auto it = bitmaps.find(id);
        return it == bitmaps.end() ? nullptr : &it->second;
    }
};

inline Canvas renderShape(const swf::Shape& shape, int width, int height,
                          const Matrix& toPixels = kTwipsToPixels, const ColorTransform& cx = {},
                          const BitmapSource* bitmaps = nullptr,
                          Rgba background = {255, 255, 255, 255})
{
    Canvas canvas(width, height);
    Renderer renderer;
    FrameOptions options;
    options.background = background;
    renderer.begin(canvas.surface(), options);
    renderer.drawShape(shape, toPixels, cx, bitmaps);
    renderer.finish();
    return canvas;
}

} // namespace zf::raster::testing
