// Turns one drawShape() call into layers of surface-clipped segments, each
// with its fill rule and paint, stored in arenas that live for one frame.
#pragma once

#include "raster/coverage_p.h"
#include "raster/geometry_p.h"
#include "raster/paint_p.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace zf::raster {

// Limits against hostile shapes: beyond them a shape is skipped, not drawn
// partially, and counted in the frame statistics.
constexpr size_t kMaxEdgesPerShape = size_t(1) << 20;
constexpr size_t kMaxPointsPerShape = size_t(1) << 22;
constexpr size_t kMaxSegmentsPerFrame = size_t(1) << 22; // 64 MiB of segments

// Surface rows per band; bands are rendered independently.
constexpr int kBandRows = 32;
static_assert((kBandRows & (kBandRows - 1)) == 0, "bands are found by shifting");
// Fixed-point y >> kBandShift is the band.
constexpr int kBandShift = kSubpixelBits + std::countr_zero(unsigned(kBandRows));

struct Layer {
    uint32_t segmentFirst = 0;
    uint32_t segmentCount = 0;
    int32_t rowMin = 0; // surface rows touched, rowMax exclusive
    int32_t rowMax = 0;
    FillRule rule = FillRule::EvenOdd;
    uint32_t paint = 0;
    // Fills of one group are composited together (see renderer.cpp): set on
    // every fill layer of a group but the last.
    bool joinsNext = false;
    // Layers over several bands keep their segments sorted by first band,
    // and within a band those that stay in it before those that reach below:
    // for band b of bandCount, they start at bucketOffsets[bucketFirst + 2b]
    // and bucketOffsets[bucketFirst + 2b + 1]. No segment reaches more than
    // maxSpan bands below its first.
    uint32_t bucketFirst = 0;
    int32_t firstBand = 0;
    int32_t bandCount = 0; // 0: not bucketed
    int32_t maxSpan = 0;
};

struct FrameGeometry {
    std::vector<FixedSegment> segments;
    std::vector<Layer> layers;
    std::vector<Paint> paints;
    std::vector<uint32_t> ramps;
    std::vector<uint32_t> bucketOffsets;

    void clear()
    {
        bucketOffsets.clear();
        segments.clear();
        layers.clear();
        paints.clear();
        ramps.clear();
    }
};

struct PrepareContext {
    int width = 0;
    int height = 0;
    bool smoothBitmaps = true;
    bool forMask = false; // only coverage matters: no paints, nothing culled for colour
};

enum class PrepareOutcome { Drawn, Culled, Skipped };

class ShapePreparer {
public:
    PrepareOutcome prepare(const swf::Shape& shape, const Matrix& toPixels,
                           const ColorTransform& cx, const BitmapSource* bitmaps,
                           const PrepareContext& context, FrameGeometry& frame);

private:
    struct StyleRef {
        uint32_t style;
        uint32_t edge;
        bool reversed;
    };
    struct Chain {
        uint32_t style;
        uint32_t firstEdge;
        uint32_t lastEdge;
    };

    bool flattenGroup(const swf::ShapeGroup& group, const Matrix& toPixels);
    bool addFills(const swf::ShapeGroup& group, const swf::Shape& shape, const Matrix& toPixels,
                  const ColorTransform& cx, const BitmapSource* bitmaps,
                  const PrepareContext& context, FrameGeometry& frame);
    bool addStrokes(const swf::ShapeGroup& group, const Matrix& toPixels, const ColorTransform& cx,
                    const BitmapSource* bitmaps, const PrepareContext& context,
                    FrameGeometry& frame);
    SegmentSink layerSink(const PrepareContext& context, const FrameGeometry& frame);
    bool finishLayer(const SegmentSink& sink, FillRule rule, uint32_t paint, FrameGeometry& frame);

    std::vector<Point> m_points;       // flattened edges of the current group
    std::vector<uint32_t> m_edgeStart; // edge i owns points [start[i], start[i + 1])
    std::vector<StyleRef> m_refs;
    std::vector<Chain> m_chains;
    std::vector<StyleRef> m_refScratch;
    std::vector<Chain> m_chainScratch;
    std::vector<uint32_t> m_styleStarts;
    std::vector<Point> m_polyline;
    // The segments of the layer being built, by the band they start in and
    // whether they reach below it (see SegmentSink).
    std::vector<std::vector<FixedSegment>> m_buckets;
    Stroker m_stroker;
    RampCache m_ramps;
};

// Device width of a line style under a matrix (before the one-pixel minimum).
double strokeDeviceWidth(const swf::LineStyle& line, const Matrix& toPixels);

} // namespace zf::raster
