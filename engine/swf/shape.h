// Shape records as the renderer consumes them: the SHAPERECORD stream of a
// DefineShape (or glyph, or morph end point) already turned into absolute
// edges, each carrying the fill styles on its two sides and its line style.
// Styles are grouped per NewStyles generation; each group draws above the
// previous one. Style indices are 1-based into the group's arrays, 0 = none.
#pragma once

#include "common/geom.h"

#include <cstdint>
#include <vector>

namespace zf::swf {

// How an object's pixels combine with what lies below it: the values of
// the blend mode byte of PlaceObject3 (0 also means normal).
enum class BlendMode : uint8_t {
    Normal = 1,
    Layer = 2, // composites like Normal; grouping is the caller's business
    Multiply = 3,
    Screen = 4,
    Lighten = 5,
    Darken = 6,
    Difference = 7,
    Add = 8,
    Subtract = 9,
    Invert = 10,
    Alpha = 11, // keeps the backdrop in proportion to the source alpha
    Erase = 12, // removes the backdrop in proportion to the source alpha
    Overlay = 13,
    HardLight = 14,
};

enum class FillType : uint8_t {
    Solid = 0x00,
    LinearGradient = 0x10,
    RadialGradient = 0x12,
    FocalGradient = 0x13,
    RepeatingBitmap = 0x40,
    ClippedBitmap = 0x41,
    RepeatingBitmapHard = 0x42, // not smoothed
    ClippedBitmapHard = 0x43,   // not smoothed
};

enum class SpreadMode : uint8_t { Pad = 0, Reflect = 1, Repeat = 2 };
enum class InterpolationMode : uint8_t { Rgb = 0, LinearRgb = 1 };

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
};

struct Gradient {
    SpreadMode spread = SpreadMode::Pad;
    InterpolationMode interpolation = InterpolationMode::Rgb;
    std::vector<GradientStop> stops; // as stored: may be unsorted or duplicated
    double focalPoint = 0;           // -1..1, focal gradients only
};

struct FillStyle {
    FillType type = FillType::Solid;
    Rgba color;            // Solid
    Matrix matrix;         // gradient square (±16384) or bitmap pixels -> shape twips
    Gradient gradient;     // gradients
    uint16_t bitmapId = 0; // bitmaps; 0xFFFF = no bitmap

    bool isGradient() const
    {
        return type == FillType::LinearGradient || type == FillType::RadialGradient ||
               type == FillType::FocalGradient;
    }
    bool isBitmap() const { return uint8_t(type) >= 0x40 && uint8_t(type) <= 0x43; }
};

enum class CapStyle : uint8_t { Round = 0, None = 1, Square = 2 };
enum class JoinStyle : uint8_t { Round = 0, Bevel = 1, Miter = 2 };

struct LineStyle {
    uint16_t width = 0; // twips; 0 = hairline
    Rgba color;
    // LINESTYLE2 fields (DefineShape4, DefineMorphShape2); defaults match LINESTYLE.
    CapStyle startCap = CapStyle::Round;
    CapStyle endCap = CapStyle::Round;
    JoinStyle join = JoinStyle::Round;
    double miterLimit = 3.0;
    bool noHScale = false;
    bool noVScale = false;
    bool pixelHinting = false;
    bool noClose = false;
    bool hasFill = false;
    FillStyle fill; // when hasFill
};

struct Edge {
    // Absolute coordinates in twips. For straight edges (curved == false)
    // the control point is the midpoint, so morphs can pair it with a curve.
    int32_t x0 = 0, y0 = 0;
    int32_t cx = 0, cy = 0;
    int32_t x1 = 0, y1 = 0;
    bool curved = false;
    uint32_t fill0 = 0; // fill on the left of travel (y down)
    uint32_t fill1 = 0; // fill on the right of travel
    uint32_t line = 0;
};

struct ShapeGroup {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
};

struct Shape {
    RectTwips bounds;            // as stored; never trusted for culling
    RectTwips edgeBounds;        // DefineShape4 only
    bool nonZeroWinding = false; // DefineShape4 UsesFillWindingRule
    bool usesNonScalingStrokes = false;
    bool usesScalingStrokes = false;
    std::vector<ShapeGroup> groups;

    Bounds computeBounds() const; // exact box of all edges (control points included)
};

struct MorphShape {
    RectTwips startBounds, endBounds;
    // Fill and line styles exist for both ends; edges pair index by index.
    std::vector<FillStyle> startFills, endFills;
    std::vector<LineStyle> startLines, endLines;
    std::vector<Edge> startEdges, endEdges; // same count; styles from startEdges
    // Interpolated shape at ratio t in [0, 1] (PlaceObject ratio / 65535).
    Shape at(double t) const;
};

} // namespace zf::swf
