#include "common/geom.h"

namespace zf {

Bounds transformBounds(const Matrix& m, const Bounds& b)
{
    Bounds out;
    if (b.empty())
        return out;
    const Point corners[4] = {{b.xMin, b.yMin}, {b.xMax, b.yMin}, {b.xMin, b.yMax}, {b.xMax, b.yMax}};
    for (const Point& p : corners) {
        Point q = m.apply(p);
        out.add(q.x, q.y);
    }
    return out;
}

} // namespace zf
