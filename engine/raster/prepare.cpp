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

// Orders items by their style (1..styles), keeping the order within a style:
// a counting sort, as shapes have few styles and many edges.
template <class T>
void sortByStyle(std::vector<T>& items, size_t styles, std::vector<T>& scratch,
                 std::vector<uint32_t>& starts)
{
    starts.assign(styles + 2, 0);
    for (const T& item : items)
        ++starts[item.style + 1];
    for (size_t s = 1; s < starts.size(); ++s)
        starts[s] += starts[s - 1];
    scratch.resize(items.size());
    for (const T& item : items)
        scratch[starts[item.style]++] = item;
    items.swap(scratch);
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

SegmentSink ShapePreparer::layerSink(const PrepareContext& context, const FrameGeometry& frame)
{
    const size_t bands = size_t(context.height + kBandRows - 1) / kBandRows;
    if (m_buckets.size() < 2 * bands)
        m_buckets.resize(2 * bands);
    return SegmentSink(m_buckets.data(), kBandShift, context.width, context.height,
                       kMaxSegmentsPerFrame - frame.segments.size());
}

// Moves the layer's buckets into the frame, in band order, each band's
// segments that stay in it first. Layers over several bands keep the bucket
// bounds, so that a band visits only the segments that can reach it.
bool ShapePreparer::finishLayer(const SegmentSink& sink, FillRule rule, uint32_t paint,
                                FrameGeometry& frame)
{
    if (sink.count() == 0)
        return !sink.failed();
    const int firstBand = sink.yMin() >> kBandShift;
    const int lastBand = (sink.yMax() - 1) >> kBandShift;
    if (sink.failed()) {
        for (int b = 2 * firstBand; b <= 2 * lastBand + 1; ++b)
            m_buckets[b].clear();
        return false;
    }
    Layer layer;
    layer.segmentFirst = uint32_t(frame.segments.size());
    layer.segmentCount = uint32_t(sink.count());
    layer.rowMin = sink.yMin() >> kSubpixelBits;
    layer.rowMax = (sink.yMax() + kSubpixelScale - 1) >> kSubpixelBits;
    layer.rule = rule;
    layer.paint = paint;
    const bool bucketed = lastBand > firstBand;
    if (bucketed) {
        layer.bucketFirst = uint32_t(frame.bucketOffsets.size());
        layer.firstBand = firstBand;
        layer.bandCount = lastBand - firstBand + 1;
        layer.maxSpan = sink.maxBandSpan();
    }
    for (int b = 2 * firstBand; b <= 2 * lastBand + 1; ++b) {
        if (bucketed)
            frame.bucketOffsets.push_back(uint32_t(frame.segments.size()));
        frame.segments.insert(frame.segments.end(), m_buckets[b].begin(), m_buckets[b].end());
        m_buckets[b].clear();
    }
    if (bucketed)
        frame.bucketOffsets.push_back(uint32_t(frame.segments.size()));
    frame.layers.push_back(layer);
    return true;
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
    sortByStyle(m_refs, styleCount, m_refScratch, m_styleStarts);
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
        SegmentSink sink = layerSink(context, frame);
        for (size_t i = run; i < runEnd; ++i) {
            const uint32_t begin = m_edgeStart[m_refs[i].edge];
            const uint32_t end = m_edgeStart[m_refs[i].edge + 1];
            sink.polyline(m_points.data() + begin, end - begin, m_refs[i].reversed);
        }
        if (!finishLayer(sink, rule, paintIndex, frame))
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
    sortByStyle(m_chains, group.lines.size(), m_chainScratch, m_styleStarts);
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
        SegmentSink sink = layerSink(context, frame);
        for (size_t c = run; c < runEnd; ++c) {
            const Chain& chain = m_chains[c];
            const Point* points = m_points.data() + m_edgeStart[chain.firstEdge];
            size_t count = m_edgeStart[chain.lastEdge + 1] - m_edgeStart[chain.firstEdge];
            if (line.pixelHinting) {
                // Hinting moves the points: on a copy, the fills use them too.
                m_polyline.assign(points, points + count);
                hintPolyline(m_polyline, width);
                points = m_polyline.data();
            }
            const swf::Edge& firstEdge = group.edges[chain.firstEdge];
            const swf::Edge& lastEdge = group.edges[chain.lastEdge];
            bool closed = !line.noClose && samePoint(lastEdge, firstEdge);
            m_stroker.stroke(points, count, closed, style, sink);
        }
        if (!finishLayer(sink, FillRule::NonZero, paintIndex, frame))
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
