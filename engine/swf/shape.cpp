#include "swf/shape.h"

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

} // namespace zf::swf
