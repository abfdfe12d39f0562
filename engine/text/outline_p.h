// FreeType outlines to glyph shapes.
#pragma once

#include "swf/shape.h"

#include <ft2build.h>
#include FT_OUTLINE_H

#include <span>

namespace zf::text {

// Device glyphs use the em square of DefineFont/DefineFont2.
constexpr double kUnitsPerEm = 1024.0;

// The edges of one glyph: y flipped to point down, points multiplied by
// scale, cubic segments approximated by quadratics. One group whose fill
// style 1 is solid black on the inside of the outline.
swf::Shape convertOutline(const FT_Outline& outline, double scale);

// Quadratic pieces approximating a cubic curve (y already flipped); each
// piece is {control, end}, starting at p0. Exposed for tests.
std::vector<std::pair<Point, Point>> cubicToQuadratics(Point p0, Point c1, Point c2, Point p3,
                                                       double tolerance);

} // namespace zf::text
