#include "raster/prepare_p.h"

#include <algorithm>
#include <cmath>

namespace zf::raster {
namespace {

bool finiteMatrix(const Matrix& m)
{
    return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
           std::isfinite(m.tx) && std::isfinite(m.ty);
}

bool samePoint(const swf::Edge& from, const swf::Edge& to)
{
    return from.x1 == to.x0 && from.y1 == to.y0;
}

// Largest distance a stroke (with caps and miters) reaches from its edges.
double strokeMargin(const swf::Shape& shape, const Matrix& toPixels)
{
    double margin = 0;
    for (const swf::ShapeGroup& group : shape.groups) {
        for (const swf::LineStyle& line : group.lines) {
            double half = std::max(1.0, strokeDeviceWidth(line, toPixels)) / 2;
            double reach =
                line.join == swf::JoinStyle::Miter ? std::max(line.miterLimit, 1.5) : 1.5;
            margin = std::max(margin, half * reach);
        }
    }
    return margin + 1;
}

// Snaps a polyline so that a line of this width lands on whole pixels.
void hintPolyline(std::vector<Point>& points, double width)
{
    const bool odd = int(std::lround(width)) % 2 != 0;
    for (Point& p : points) {
        p.x = odd ? std::floor(p.x) + 0.5 : std::round(p.x);
        p.y = odd ? std::floor(p.y) + 0.5 : std::round(p.y);
    }
}

} // namespace

double strokeDeviceWidth(const swf::LineStyle& line, const Matrix& toPixels)
{
    double scale;
    if (line.noHScale && line.noVScale)
        scale = 1 / kTwipsPerPixel;
    else if (line.noHScale)
        scale = std::hypot(toPixels.c, toPixels.d);
    else if (line.noVScale)
        scale = std::hypot(toPixels.a, toPixels.b);
    else
        scale = std::sqrt(std::fabs(toPixels.determinant()));
    return line.width * scale;
}

bool ShapePreparer::flattenGroup(const swf::ShapeGroup& group, const Matrix& toPixels)
{
    m_points.clear();
    m_edgeStart.clear();
    for (const swf::Edge& edge : group.edges) {
        m_edgeStart.push_back(uint32_t(m_points.size()));
        Point start = toPixels.apply({double(edge.x0), double(edge.y0)});
        Point end = toPixels.apply({double(edge.x1), double(edge.y1)});
        m_points.push_back(start);
        if (edge.curved)
            flattenQuadratic(start, toPixels.apply({double(edge.cx), double(edge.cy)}), end,
                             m_points);
        else
            m_points.push_back(end);
        if (m_points.size() > kMaxPointsPerShape)
            return false;
    }
    m_edgeStart.push_back(uint32_t(m_points.size()));
    return true;
}

bool ShapePreparer::finishLayer(SegmentSink& sink, size_t first, FillRule rule, uint32_t paint,
                                FrameGeometry& frame)
{
    if (sink.failed() || frame.segments.size() > kMaxSegmentsPerFrame)
        return false;
    if (frame.segments.size() == first)
        return true;
    Layer layer;
    layer.segmentFirst = uint32_t(first);
    layer.segmentCount = uint32_t(frame.segments.size() - first);
    layer.rowMin = sink.yMin() >> kSubpixelBits;
    layer.rowMax = (sink.yMax() + kSubpixelScale - 1) >> kSubpixelBits;
    layer.rule = rule;
    layer.paint = paint;
    if ((layer.rowMax - 1) / kBandRows - layer.rowMin / kBandRows >= 2)
        bucketByBand(layer, frame);
    frame.layers.push_back(layer);
    return true;
}

// A counting sort of the layer's segments by the band they start in, so that
// a band visits only the segments that can reach it.
void ShapePreparer::bucketByBand(Layer& layer, FrameGeometry& frame)
{
    layer.firstBand = layer.rowMin / kBandRows;
    layer.bandCount = (layer.rowMax - 1) / kBandRows - layer.firstBand + 1;
    constexpr int kBandShift = kSubpixelBits; // rows, then divided by kBandRows
    auto bandOf = [&](int32_t y) { return (y >> kBandShift) / kBandRows - layer.firstBand; };
    FixedSegment* segments = frame.segments.data() + layer.segmentFirst;
    m_bucketCounts.assign(size_t(layer.bandCount) + 1, 0);
    layer.maxSpan = 0;
    for (uint32_t i = 0; i < layer.segmentCount; ++i) {
        const FixedSegment& s = segments[i];
        int start = std::clamp(bandOf(std::min(s.y0, s.y1)), 0, layer.bandCount - 1);
        int end = std::clamp(bandOf(std::max(s.y0, s.y1) - 1), 0, layer.bandCount - 1);
        layer.maxSpan = std::max(layer.maxSpan, end - start);
        ++m_bucketCounts[start + 1];
    }
    for (int b = 0; b < layer.bandCount; ++b)
        m_bucketCounts[b + 1] += m_bucketCounts[b];
    layer.bucketFirst = uint32_t(frame.bucketOffsets.size());
    for (int b = 0; b <= layer.bandCount; ++b)
        frame.bucketOffsets.push_back(layer.segmentFirst + m_bucketCounts[b]);
    m_sorted.resize(layer.segmentCount);
    for (uint32_t i = 0; i < layer.segmentCount; ++i) {
        const FixedSegment& s = segments[i];
        int start = std::clamp(bandOf(std::min(s.y0, s.y1)), 0, layer.bandCount - 1);
        m_sorted[m_bucketCounts[start]++] = s;
    }
    std::copy(m_sorted.begin(), m_sorted.end(), segments);
}

bool ShapePreparer::addFills(const swf::ShapeGroup& group, const swf::Shape& shape,
                             const Matrix& toPixels, const ColorTransform& cx,
                             const BitmapSource* bitmaps, const PrepareContext& context,
                             FrameGeometry& frame)
{
    // Every edge bounds the styles on both its sides; an edge with the same
    // style on both sides is interior and bounds nothing.
    m_refs.clear();
    const size_t styleCount = group.fills.size();
    for (uint32_t e = 0; e < group.edges.size(); ++e) {
        const swf::Edge& edge = group.edges[e];
        if (edge.fill0 == edge.fill1)
            continue;
        if (edge.fill0 >= 1 && edge.fill0 <= styleCount)
            m_refs.push_back({edge.fill0, e, true});
        if (edge.fill1 >= 1 && edge.fill1 <= styleCount)
            m_refs.push_back({edge.fill1, e, false});
    }
    std::stable_sort(m_refs.begin(), m_refs.end(),
                     [](const StyleRef& a, const StyleRef& b) { return a.style < b.style; });
    const FillRule rule = shape.nonZeroWinding ? FillRule::NonZero : FillRule::EvenOdd;
    const size_t firstLayer = frame.layers.size();
    for (size_t run = 0; run < m_refs.size();) {
        size_t runEnd = run;
        while (runEnd < m_refs.size() && m_refs[runEnd].style == m_refs[run].style)
            ++runEnd;
        uint32_t paintIndex = 0;
        if (!context.forMask) {
            Paint paint = makeFillPaint(group.fills[m_refs[run].style - 1], toPixels, cx, bitmaps,
                                        context.smoothBitmaps, frame.ramps, &m_ramps);
            if (paint.kind == Paint::Kind::None) {
                run = runEnd;
                continue;
            }
            paintIndex = uint32_t(frame.paints.size());
            frame.paints.push_back(paint);
        }
        const size_t first = frame.segments.size();
        SegmentSink sink(frame.segments, context.width, context.height, kMaxSegmentsPerFrame);
        for (size_t i = run; i < runEnd; ++i) {
            const uint32_t begin = m_edgeStart[m_refs[i].edge];
            const uint32_t end = m_edgeStart[m_refs[i].edge + 1];
            for (uint32_t p = begin; p + 1 < end; ++p) {
                if (m_refs[i].reversed)
                    sink.line(m_points[p + 1], m_points[p]);
                else
                    sink.line(m_points[p], m_points[p + 1]);
            }
        }
        if (!finishLayer(sink, first, rule, paintIndex, frame))
            return false;
        run = runEnd;
    }
    for (size_t i = firstLayer; i + 1 < frame.layers.size(); ++i)
        frame.layers[i].joinsNext = true;
    return true;
}

bool ShapePreparer::addStrokes(const swf::ShapeGroup& group, const Matrix& toPixels,
                               const ColorTransform& cx, const BitmapSource* bitmaps,
                               const PrepareContext& context, FrameGeometry& frame)
{
    // A stroke follows runs of consecutive edges with the same line style
    // that meet end to start.
    m_chains.clear();
    for (uint32_t e = 0; e < group.edges.size(); ++e) {
        const uint32_t line = group.edges[e].line;
        if (line < 1 || line > group.lines.size())
            continue;
        if (!m_chains.empty() && m_chains.back().style == line &&
            m_chains.back().lastEdge + 1 == e && samePoint(group.edges[e - 1], group.edges[e]))
            m_chains.back().lastEdge = e;
        else
            m_chains.push_back({line, e, e});
    }
    std::stable_sort(m_chains.begin(), m_chains.end(),
                     [](const Chain& a, const Chain& b) { return a.style < b.style; });
    for (size_t run = 0; run < m_chains.size();) {
        size_t runEnd = run;
        while (runEnd < m_chains.size() && m_chains[runEnd].style == m_chains[run].style)
            ++runEnd;
        const swf::LineStyle& line = group.lines[m_chains[run].style - 1];
        uint32_t paintIndex = 0;
        if (!context.forMask) {
            Paint paint = line.hasFill ? makeFillPaint(line.fill, toPixels, cx, bitmaps,
                                                       context.smoothBitmaps, frame.ramps, &m_ramps)
                                       : makeSolidPaint(line.color, cx);
            if (paint.kind == Paint::Kind::None) {
                run = runEnd;
                continue;
            }
            paintIndex = uint32_t(frame.paints.size());
            frame.paints.push_back(paint);
        }
        // Strokes thinner than a pixel are drawn one pixel wide so they never vanish.
        const double width = std::max(1.0, strokeDeviceWidth(line, toPixels));
        StrokeStyle style{width / 2, line.startCap, line.endCap, line.join,
                          std::max(1.0, line.miterLimit)};
        const size_t first = frame.segments.size();
        SegmentSink sink(frame.segments, context.width, context.height, kMaxSegmentsPerFrame);
        for (size_t c = run; c < runEnd; ++c) {
            const Chain& chain = m_chains[c];
            m_polyline.assign(m_points.begin() + m_edgeStart[chain.firstEdge],
                              m_points.begin() + m_edgeStart[chain.lastEdge + 1]);
            if (line.pixelHinting)
                hintPolyline(m_polyline, width);
            const swf::Edge& firstEdge = group.edges[chain.firstEdge];
            const swf::Edge& lastEdge = group.edges[chain.lastEdge];
            bool closed = !line.noClose && samePoint(lastEdge, firstEdge);
            m_stroker.stroke(m_polyline.data(), m_polyline.size(), closed, style, sink);
        }
        if (!finishLayer(sink, first, FillRule::NonZero, paintIndex, frame))
            return false;
        run = runEnd;
    }
    return true;
}

PrepareOutcome ShapePreparer::prepare(const swf::Shape& shape, const Matrix& toPixels,
                                      const ColorTransform& cx, const BitmapSource* bitmaps,
                                      const PrepareContext& context, FrameGeometry& frame)
{
    if (!finiteMatrix(toPixels))
        return PrepareOutcome::Skipped;
    size_t edgeCount = 0;
    for (const swf::ShapeGroup& group : shape.groups)
        edgeCount += group.edges.size();
    if (edgeCount > kMaxEdgesPerShape)
        return PrepareOutcome::Skipped;
    const Bounds local = shape.computeBounds();
    if (local.empty())
        return PrepareOutcome::Culled;
    const Bounds device = transformBounds(toPixels, local);
    const double margin = strokeMargin(shape, toPixels);
    if (!std::isfinite(device.xMin) || !std::isfinite(device.xMax) || !std::isfinite(device.yMin) ||
        !std::isfinite(device.yMax) || !std::isfinite(margin))
        return PrepareOutcome::Skipped;
    if (device.xMax + margin <= 0 || device.yMax + margin <= 0 ||
        device.xMin - margin >= context.width || device.yMin - margin >= context.height)
        return PrepareOutcome::Culled;

    const size_t segments = frame.segments.size(), layers = frame.layers.size(),
                 paints = frame.paints.size(), ramps = frame.ramps.size(),
                 buckets = frame.bucketOffsets.size();
    for (const swf::ShapeGroup& group : shape.groups) {
        if (!flattenGroup(group, toPixels) ||
            !addFills(group, shape, toPixels, cx, bitmaps, context, frame) ||
            !addStrokes(group, toPixels, cx, bitmaps, context, frame)) {
            frame.segments.resize(segments);
            frame.layers.resize(layers);
            frame.paints.resize(paints);
            frame.ramps.resize(ramps);
            frame.bucketOffsets.resize(buckets);
            return PrepareOutcome::Skipped;
        }
    }
    return PrepareOutcome::Drawn;
}

} // namespace zf::raster
