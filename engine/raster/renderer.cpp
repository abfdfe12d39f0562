#include "raster/coverage_p.h"
#include "raster/covered_runs_p.h"
#include "raster/paint_p.h"
#include "raster/prepare_p.h"
#include "raster/raster.h"
#include "raster/thread_pool_p.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zf::raster {
namespace {

constexpr size_t kMaxMaskDepth = 64;

struct Command {
    enum class Kind : uint8_t { Layers, BeginMask, EndMask, PopMask };
    Kind kind = Kind::Layers;
    bool toMask = false; // the layers add to the mask being built
    BlendMode blend = BlendMode::Normal;
    uint32_t layerFirst = 0;
    uint32_t layerCount = 0;
    int32_t rowMin = 0;
    int32_t rowMax = 0;
};

// Recording-time state of one mask level. Levels that cannot be honoured
// (too deep, or begun while another mask is being built) are Ignored: their
// shapes draw as if the level did not exist.
enum class MaskLevel : uint8_t { Building, Active, Ignored };

struct MaskLayer {
    std::vector<uint8_t> coverage; // kBandRows x surface width, by band row
    // Band rows [rowMin, rowMax) and columns [xMin, xMax) hold every
    // non-zero coverage value: what the next use must clear, and outside of
    // which the mask hides everything.
    int rowMin = 0;
    int rowMax = 0;
    int xMin = 0;
    int xMax = 0;

    bool empty() const { return rowMin >= rowMax; }
    void touch(int row, int x0, int x1)
    {
        rowMin = std::min(rowMin, row), rowMax = std::max(rowMax, row + 1);
        xMin = std::min(xMin, x0), xMax = std::max(xMax, x1);
    }
    // Zero coverage everywhere, with the bounds empty.
    void reset(size_t width)
    {
        if (coverage.size() != size_t(kBandRows) * width) {
            coverage.assign(size_t(kBandRows) * width, 0);
        } else {
            for (int row = rowMin; row < rowMax; ++row)
                std::fill(coverage.begin() + ptrdiff_t(row * width + xMin),
                          coverage.begin() + ptrdiff_t(row * width + xMax), uint8_t(0));
        }
        rowMin = xMin = INT32_MAX;
        rowMax = xMax = INT32_MIN;
    }
};

// Per-thread scratch, kept across frames.
struct Worker {
    CellRasterizer cells;
    std::vector<uint32_t> shaded;
    std::vector<uint8_t> runCoverage; // a constant run spelled out per pixel
    // The fills of a shape group being gathered (see gatherSpan), band-sized,
    // with the touched extent of each row.
    std::vector<uint32_t> group;
    std::vector<uint8_t> groupCovered;
    std::vector<int32_t> dirtyMin;
    std::vector<int32_t> dirtyMax;
    std::vector<MaskLayer> masks;
    size_t depth = 0;
};

inline uint8_t multiply255(uint32_t a, uint32_t b)
{
    uint32_t v = a * b + 128;
    return uint8_t((v + (v >> 8)) >> 8);
}

} // namespace

struct Renderer::Impl {
    Surface surface;
    FrameOptions options;
    bool recording = false;
    FrameGeometry frame;
    std::vector<Command> commands;
    std::vector<MaskLevel> maskLevels;
    ShapePreparer preparer;
    FrameStats stats;
    std::unique_ptr<ThreadPool> pool;
    std::vector<Worker> workers;

    bool buildingMask() const
    {
        for (auto level = maskLevels.rbegin(); level != maskLevels.rend(); ++level) {
            if (*level != MaskLevel::Ignored)
                return *level == MaskLevel::Building;
        }
        return false;
    }
    void renderBand(int band, Worker& worker);
    void drawLayers(const Command& command, int top, int rows, Worker& worker);
    void addLayerSegments(const Layer& layer, int top, Worker& worker) const;
    void flushGroup(int top, int rows, Worker& worker);
    void paintSpans(const Paint& paint, int row, const CoverageSpan* spans, int count, int origin,
                    Worker& worker) const;
};

Renderer::Renderer() : m_impl(std::make_unique<Impl>()) {}
Renderer::~Renderer() = default;

const FrameOptions& Renderer::options() const
{
    return m_impl->options;
}

void Renderer::begin(const Surface& surface, const FrameOptions& options)
{
    Impl& d = *m_impl;
    d.surface = surface;
    d.options = options;
    d.recording = surface.pixels && surface.width > 0 && surface.height > 0 &&
                  surface.stride >= surface.width * 4;
    d.frame.clear();
    d.commands.clear();
    d.maskLevels.clear();
    d.stats = {};
}

void Renderer::drawShape(const swf::Shape& shape, const Matrix& toPixels, const ColorTransform& cx,
                         const BitmapSource* bitmaps, BlendMode blend)
{
    Impl& d = *m_impl;
    if (!d.recording)
        return;
    PrepareContext context{d.surface.width, d.surface.height, d.options.smoothBitmaps,
                           d.buildingMask()};
    const size_t firstLayer = d.frame.layers.size();
    switch (d.preparer.prepare(shape, toPixels, cx, bitmaps, context, d.frame)) {
    case PrepareOutcome::Culled: ++d.stats.shapesCulled; return;
    case PrepareOutcome::Skipped: ++d.stats.shapesSkipped; return;
    case PrepareOutcome::Drawn: ++d.stats.shapesDrawn; break;
    }
    if (d.frame.layers.size() == firstLayer)
        return;
    Command command;
    command.toMask = context.forMask;
    if (!command.toMask && blend != BlendMode::Layer)
        command.blend = blend;
    command.layerFirst = uint32_t(firstLayer);
    command.layerCount = uint32_t(d.frame.layers.size() - firstLayer);
    command.rowMin = INT32_MAX;
    command.rowMax = INT32_MIN;
    for (size_t i = firstLayer; i < d.frame.layers.size(); ++i) {
        command.rowMin = std::min(command.rowMin, d.frame.layers[i].rowMin);
        command.rowMax = std::max(command.rowMax, d.frame.layers[i].rowMax);
    }
    d.commands.push_back(command);
}

void Renderer::beginMask()
{
    Impl& d = *m_impl;
    if (d.buildingMask() || d.maskLevels.size() >= kMaxMaskDepth) {
        d.maskLevels.push_back(MaskLevel::Ignored);
        return;
    }
    d.maskLevels.push_back(MaskLevel::Building);
    d.commands.push_back({Command::Kind::BeginMask});
}

void Renderer::endMask()
{
    Impl& d = *m_impl;
    if (d.maskLevels.empty() || d.maskLevels.back() == MaskLevel::Active)
        return; // unbalanced: ignore
    if (d.maskLevels.back() == MaskLevel::Building) {
        d.maskLevels.back() = MaskLevel::Active;
        d.commands.push_back({Command::Kind::EndMask});
    }
}

void Renderer::popMask()
{
    Impl& d = *m_impl;
    if (d.maskLevels.empty() || d.maskLevels.back() == MaskLevel::Building)
        return; // unbalanced: ignore
    if (d.maskLevels.back() == MaskLevel::Active)
        d.commands.push_back({Command::Kind::PopMask});
    d.maskLevels.pop_back();
}

FrameStats Renderer::stats() const
{
    return m_impl->stats;
}

void Renderer::Impl::addLayerSegments(const Layer& layer, int top, Worker& worker) const
{
    auto add = [&](uint32_t first, uint32_t end) {
        for (uint32_t s = first; s < end; ++s)
            worker.cells.addSegment(frame.segments[s]);
    };
    if (layer.bandCount == 0) {
        add(layer.segmentFirst, layer.segmentFirst + layer.segmentCount);
        return;
    }
    // The band's own segments, and those of the bands above that reach
    // below their band.
    const int band = std::clamp(top / kBandRows - layer.firstBand, 0, layer.bandCount - 1);
    const uint32_t* offsets = frame.bucketOffsets.data() + layer.bucketFirst;
    for (int b = std::max(0, band - layer.maxSpan); b < band; ++b)
        add(offsets[2 * b + 1], offsets[2 * b + 2]);
    add(offsets[2 * band], offsets[2 * band + 2]);
}

void Renderer::Impl::flushGroup(int top, int rows, Worker& worker)
{
    const size_t width = size_t(surface.width);
    for (int row = 0; row < rows; ++row) {
        const int x0 = worker.dirtyMin[row], x1 = worker.dirtyMax[row];
        if (x0 >= x1)
            continue;
        uint8_t* dst = surface.pixels + size_t(top + row) * size_t(surface.stride) + size_t(x0) * 4;
        flushGatheredSpan(dst, worker.group.data() + row * width + x0,
                          worker.groupCovered.data() + row * width + x0, x1 - x0);
        worker.dirtyMin[row] = INT32_MAX;
        worker.dirtyMax[row] = INT32_MIN;
    }
}

// The common case: a layer composited straight onto the surface, span by
// span, with interior runs filled without per-pixel coverage.
void Renderer::Impl::paintSpans(const Paint& paint, int row, const CoverageSpan* spans, int count,
                                int origin, Worker& worker) const
{
    uint8_t* line = surface.pixels + size_t(row) * size_t(surface.stride);
    if (paint.kind == Paint::Kind::Solid) {
        for (int i = 0; i < count; ++i) {
            const CoverageSpan& span = spans[i];
            uint8_t* dst = line + size_t(span.x0) * 4;
            if (span.coverage)
                blendSolidSpan(dst, paint.color, span.coverage, span.x1 - span.x0);
            else
                blendSolidRun(dst, paint.color, span.value, span.x1 - span.x0);
        }
        return;
    }
    // Neighbouring spans are shaded in one go: each shading call steps its
    // position from the row's origin, and a short gap costs less to shade
    // than that.
    constexpr int kShadeGapLimit = 32;
    for (int i = 0; i < count;) {
        int j = i + 1;
        while (j < count && spans[j].x0 - spans[j - 1].x1 <= kShadeGapLimit)
            ++j;
        const int from = spans[i].x0;
        shadeSpan(paint, frame.ramps.data(), origin, row, spans[j - 1].x1 - from,
                  worker.shaded.data(), from - origin);
        for (; i < j; ++i) {
            const CoverageSpan& span = spans[i];
            const uint32_t* shaded = worker.shaded.data() + (span.x0 - from);
            uint8_t* dst = line + size_t(span.x0) * 4;
            if (span.coverage)
                blendSpan(dst, shaded, span.coverage, span.x1 - span.x0);
            else
                blendRun(dst, shaded, span.value, paint.opaque, span.x1 - span.x0);
        }
    }
}

void Renderer::Impl::drawLayers(const Command& command, int top, int rows, Worker& worker)
{
    const int width = surface.width;
    uint8_t* target = nullptr; // the mask under construction
    MaskLayer* targetMask = nullptr;
    const uint8_t* clip = nullptr;
    // Rows the layers may change: the band, or where the clipping mask lets
    // anything through.
    int visibleMin = top, visibleMax = top + rows;
    int clipXMin = 0, clipXMax = 0; // the columns the clipping mask lets through
    if (command.toMask) {
        targetMask = &worker.masks[worker.depth - 1];
        target = targetMask->coverage.data();
    } else if (worker.depth > 0) {
        const MaskLayer& mask = worker.masks[worker.depth - 1];
        clip = mask.coverage.data();
        visibleMin = mask.empty() ? top : top + mask.rowMin;
        visibleMax = mask.empty() ? top : top + mask.rowMax;
        clipXMin = mask.xMin;
        clipXMax = mask.xMax;
    }
    // Fills of a blended shape composite one by one, ungathered: blend
    // modes are for offscreen images, which have a single fill.
    const bool blended = command.blend != BlendMode::Normal;
    for (uint32_t i = 0; i < command.layerCount; ++i) {
        const Layer& layer = frame.layers[command.layerFirst + i];
        const bool gathered =
            !command.toMask && !blended &&
            (layer.joinsNext || (i > 0 && frame.layers[command.layerFirst + i - 1].joinsNext));
        if (layer.rowMax > visibleMin && layer.rowMin < visibleMax) {
            addLayerSegments(layer, top, worker);
            const Paint* paint = command.toMask ? nullptr : &frame.paints[layer.paint];
            // `clipped`: the coverage already went through the clipping mask.
            auto pixelSpan = [&](int row, int x0, int x1, uint8_t* coverage, int origin,
                                 bool clipped) {
                const size_t offset = size_t(row - top) * size_t(width);
                const int count = x1 - x0;
                if (target) {
                    // Saturating sums keep the fills of a mask shape seamless.
                    uint8_t* m = target + offset + x0;
                    for (int x = 0; x < count; ++x)
                        m[x] = uint8_t(std::min(255, m[x] + coverage[x]));
                    targetMask->touch(row - top, x0, x1);
                    return;
                }
                const bool solid = paint->kind == Paint::Kind::Solid;
                if (clip) {
                    const uint8_t* c = clip + offset + x0;
                    if (!clipped) {
                        for (int x = 0; x < count; ++x)
                            coverage[x] = multiply255(coverage[x], c[x]);
                    }
                    if (!gathered) {
                        // Shade only what the mask lets through: a stage-sized
                        // bitmap masked to a thin ring shades the ring alone.
                        forEachCoveredRun(coverage, count, [&](int start, int length) {
                            uint8_t* dst = surface.pixels + size_t(row) * size_t(surface.stride) +
                                           size_t(x0 + start) * 4;
                            if (blended) {
                                if (!solid)
                                    shadeSpan(*paint, frame.ramps.data(), origin, row, length,
                                              worker.shaded.data(), x0 + start - origin);
                                blendModeSpan(command.blend, dst,
                                              solid ? nullptr : worker.shaded.data(), paint->color,
                                              coverage + start, length);
                                return;
                            }
                            if (solid) {
                                blendSolidSpan(dst, paint->color, coverage + start, length);
                                return;
                            }
                            shadeSpan(*paint, frame.ramps.data(), origin, row, length,
                                      worker.shaded.data(), x0 + start - origin);
                            blendSpan(dst, worker.shaded.data(), coverage + start, length);
                        });
                        return;
                    }
                }
                if (!solid)
                    shadeSpan(*paint, frame.ramps.data(), origin, row, count, worker.shaded.data(),
                              x0 - origin);
                if (gathered) {
                    uint32_t* group = worker.group.data() + offset + x0;
                    uint8_t* covered = worker.groupCovered.data() + offset + x0;
                    if (solid)
                        gatherSolidSpan(group, covered, paint->color, coverage, count);
                    else
                        gatherSpan(group, covered, worker.shaded.data(), coverage, count);
                    worker.dirtyMin[row - top] = std::min(worker.dirtyMin[row - top], x0);
                    worker.dirtyMax[row - top] = std::max(worker.dirtyMax[row - top], x1);
                    return;
                }
                uint8_t* dst =
                    surface.pixels + size_t(row) * size_t(surface.stride) + size_t(x0) * 4;
                if (blended)
                    blendModeSpan(command.blend, dst, solid ? nullptr : worker.shaded.data(),
                                  paint->color, coverage, count);
                else if (solid)
                    blendSolidSpan(dst, paint->color, coverage, count);
                else
                    blendSpan(dst, worker.shaded.data(), coverage, count);
            };
            // Interior runs of a gathered fill skip spelling out their coverage.
            auto gatherRunSpan = [&](int row, int x0, int x1, uint8_t value, int origin) {
                const size_t offset = size_t(row - top) * size_t(width) + size_t(x0);
                const int count = x1 - x0;
                uint32_t* group = worker.group.data() + offset;
                uint8_t* covered = worker.groupCovered.data() + offset;
                if (paint->kind == Paint::Kind::Solid) {
                    gatherSolidRun(group, covered, paint->color, value, count);
                } else {
                    shadeSpan(*paint, frame.ramps.data(), origin, row, count, worker.shaded.data(),
                              x0 - origin);
                    gatherRun(group, covered, worker.shaded.data(), value, count);
                }
                worker.dirtyMin[row - top] = std::min(worker.dirtyMin[row - top], x0);
                worker.dirtyMax[row - top] = std::max(worker.dirtyMax[row - top], x1);
            };
            const bool direct = !target && !clip && !gathered && !blended;
            worker.cells.sweepSpans(
                layer.rule, [&](int row, const CoverageSpan* spans, int count, int origin) {
                    if (direct) {
                        paintSpans(*paint, row, spans, count, origin, worker);
                        return;
                    }
                    // Outside the clipping mask's bounds its coverage is
                    // zero, which paints nothing.
                    if (clip && (row < visibleMin || row >= visibleMax))
                        return;
                    for (int s = 0; s < count; ++s) {
                        uint8_t* coverage = spans[s].coverage;
                        if (!coverage && gathered && !clip) {
                            gatherRunSpan(row, spans[s].x0, spans[s].x1, spans[s].value, origin);
                            continue;
                        }
                        const int x0 = clip ? std::max(spans[s].x0, clipXMin) : spans[s].x0;
                        const int x1 = clip ? std::min(spans[s].x1, clipXMax) : spans[s].x1;
                        if (x0 >= x1)
                            continue;
                        // Full coverage through a mask is the mask's own.
                        const bool fullUnderClip = clip && !coverage && spans[s].value == 255;
                        if (coverage) {
                            coverage += x0 - spans[s].x0;
                        } else if (fullUnderClip) {
                            coverage = worker.runCoverage.data();
                            std::memcpy(coverage, clip + size_t(row - top) * size_t(width) + x0,
                                        size_t(x1 - x0));
                        } else {
                            coverage = worker.runCoverage.data();
                            std::fill_n(coverage, x1 - x0, spans[s].value);
                        }
                        pixelSpan(row, x0, x1, coverage, origin, fullUnderClip);
                    }
                });
        }
        if (gathered && !layer.joinsNext)
            flushGroup(top, rows, worker);
    }
}

void Renderer::Impl::renderBand(int band, Worker& worker)
{
    const int top = band * kBandRows;
    const int rows = std::min(kBandRows, surface.height - top);
    const int width = surface.width;
    const uint32_t background = premultiply(options.background);
    uint8_t* const first = surface.pixels + size_t(top) * size_t(surface.stride);
    for (int x = 0; x < width; ++x)
        storePixel(first + 4 * x, background);
    for (int row = top + 1; row < top + rows; ++row)
        std::memcpy(surface.pixels + size_t(row) * size_t(surface.stride), first,
                    size_t(width) * 4);
    worker.cells.setBand(top, rows, width);
    worker.depth = 0;
    if (worker.group.size() != size_t(kBandRows) * size_t(width)) {
        worker.group.assign(size_t(kBandRows) * size_t(width), 0);
        worker.groupCovered.assign(size_t(kBandRows) * size_t(width), 0);
        worker.dirtyMin.assign(kBandRows, INT32_MAX);
        worker.dirtyMax.assign(kBandRows, INT32_MIN);
        worker.shaded.resize(size_t(width));
        worker.runCoverage.resize(size_t(width));
    }
    for (const Command& command : commands) {
        switch (command.kind) {
        case Command::Kind::BeginMask:
            if (worker.masks.size() <= worker.depth)
                worker.masks.emplace_back();
            worker.masks[worker.depth].reset(size_t(width));
            ++worker.depth;
            break;
        case Command::Kind::EndMask:
            // Nested masks clip by the intersection with the enclosing one;
            // outside its bounds the inner mask is zero and stays so.
            if (worker.depth >= 2) {
                const MaskLayer& mask = worker.masks[worker.depth - 1];
                uint8_t* inner = worker.masks[worker.depth - 1].coverage.data();
                const uint8_t* outer = worker.masks[worker.depth - 2].coverage.data();
                for (int row = mask.rowMin; row < mask.rowMax; ++row) {
                    for (int x = mask.xMin; x < mask.xMax; ++x) {
                        const size_t i = size_t(row) * size_t(width) + size_t(x);
                        inner[i] = multiply255(inner[i], outer[i]);
                    }
                }
            }
            break;
        case Command::Kind::PopMask: --worker.depth; break;
        case Command::Kind::Layers:
            if (command.rowMax > top && command.rowMin < top + rows)
                drawLayers(command, top, rows, worker);
            break;
        }
    }
}

void Renderer::finish()
{
    Impl& d = *m_impl;
    if (!d.recording)
        return;
    d.recording = false;
    const int threads = std::clamp(d.options.threads, 1, 64);
    if (!d.pool || d.pool->size() != threads)
        d.pool = std::make_unique<ThreadPool>(threads);
    if (d.workers.size() < size_t(threads))
        d.workers.resize(threads);
    const int bands = (d.surface.height + kBandRows - 1) / kBandRows;
    d.pool->run(bands, [&d](int band, int worker) { d.renderBand(band, d.workers[worker]); });
}

} // namespace zf::raster
