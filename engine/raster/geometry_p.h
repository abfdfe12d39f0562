// Device-space geometry: clipping lines to the surface into fixed-point
// segments, flattening quadratic curves, and stroking polylines into
// outlines that are filled with the non-zero rule.
#pragma once

#include "common/geom.h"
#include "raster/coverage_p.h"
#include "swf/shape.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zf::raster {

// Curves are flattened so that the chord never strays further than this
// from the curve, in device pixels.
constexpr double kFlatteningTolerance = 0.2;
// Segment ends are rounded to this many steps per pixel (see SegmentSink).
constexpr int kEdgeGridPerPixel = 4;
constexpr int kMaxCurveSteps = 512;
// Outline points of one stroked chain; beyond this the shape is skipped.
constexpr size_t kMaxOutlinePoints = size_t(1) << 22;

// Appends surface-clipped fixed-point segments to a vector. Parts left of
// the surface become vertical lines on its left border (they still cover
// the pixels to their right); parts right of it, above or below vanish.
class SegmentSink {
public:
    // Fails instead of growing `out` beyond `limit` segments.
    SegmentSink(std::vector<FixedSegment>& out, int width, int height, size_t limit = SIZE_MAX);
    // Sorts the segments by the band their upper end lies in, as they come:
    // a band is 1 << bandShift fixed-point rows, and `buckets` holds two
    // vectors per band of the surface, 2 * b for the segments that stay in
    // band b and 2 * b + 1 for those that reach below it. Fails beyond
    // `limit` segments in all.
    SegmentSink(std::vector<FixedSegment>* buckets, int bandShift, int width, int height,
                size_t limit);

    void line(Point a, Point b);
    // The lines between consecutive points, the same segments as line() on
    // each pair; `reversed` gives every line the opposite direction.
    void polyline(const Point* points, size_t count, bool reversed = false);
    void polygon(const Point* points, size_t count); // closes back to the first point

    // A non-finite coordinate was seen, or the size limit was reached.
    bool failed() const { return m_failed; }
    void fail() { m_failed = true; }
    int32_t yMin() const { return m_yMin; } // fixed point, valid when something was added
    int32_t yMax() const { return m_yMax; }
    size_t count() const { return m_count; }
    // The most bands a segment reaches below the one it starts in.
    int maxBandSpan() const { return m_maxBandSpan; }

private:
    template <bool kReversed>
    void addPolyline(const Point* points, size_t count);
    void emit(double x0, double y0, double x1, double y1, bool flipped);
    void push(const FixedSegment& segment, int32_t yLo, int32_t yHi);

    std::vector<FixedSegment>* m_out = nullptr;
    std::vector<FixedSegment>* m_buckets = nullptr;
    int m_bandShift = 0;
    int m_maxBandSpan = 0;
    size_t m_count = 0;
    double m_width;
    double m_height;
    double m_gridWidth;  // exclusive bounds of the snapped coordinates that are inside,
    double m_gridHeight; // before truncation (see addPolyline())
    size_t m_limit;
    bool m_failed = false;
    int32_t m_yMin = INT32_MAX;
    int32_t m_yMax = INT32_MIN;
};

// Appends the points of a quadratic curve after p0 (p1 included).
void flattenQuadratic(Point p0, Point control, Point p1, std::vector<Point>& out);

struct StrokeStyle {
    double halfWidth = 0.5; // device pixels
    swf::CapStyle startCap = swf::CapStyle::Round;
    swf::CapStyle endCap = swf::CapStyle::Round;
    swf::JoinStyle join = swf::JoinStyle::Round;
    double miterLimit = 3;
};

// Turns polylines into outline polygons. Keeps its scratch buffers.
class Stroker {
public:
    void stroke(const Point* points, size_t count, bool closed, const StrokeStyle& style,
                SegmentSink& sink);

private:
    void addJoin(Point at, Point dirIn, Point dirOut, double shortest, std::vector<Point>& out);
    void addCap(Point at, Point dir, swf::CapStyle cap, std::vector<Point>& out);
    void addArc(Point at, Point from, Point towards, double angle, std::vector<Point>& out);
    void addRoundJoin(Point at, Point dirIn, Point dirOut, std::vector<Point>& out);
    void addDot(Point at, SegmentSink& sink);

    StrokeStyle m_style;
    double m_arcMaxStep = 1;      // per style: the widest angle of one arc chord
    double m_oneChordTangent = 0; // below the tangent of that angle, with a margin
    std::vector<Point> m_points;
    std::vector<Point> m_directions;
    std::vector<double> m_lengths;
    std::vector<Point> m_outline;
    std::vector<Point> m_back;
};

} // namespace zf::raster
