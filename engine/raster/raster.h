// The renderer: SWF shapes -> anti-aliased coverage -> paints -> a
// premultiplied RGBA8 frame buffer.
//
// A frame is recorded as a list of drawing commands (shapes with their
// matrix and colour transform, mask begin/end) and then rasterized in one go,
// in horizontal bands that may run on several threads; the result does not
// depend on the number of threads.
#pragma once

#include "common/geom.h"
#include "swf/shape.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zf::raster {

// A decoded bitmap: premultiplied RGBA8, rows of width * 4 bytes.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Resolves the bitmap ids of bitmap fills to decoded bitmaps (nullptr when
// the id names no bitmap; such fills draw nothing).
class BitmapSource {
public:
    virtual ~BitmapSource() = default;
    virtual const Bitmap* bitmap(uint16_t id) const = 0;
};

// Where a frame is drawn: premultiplied RGBA8, memory order R, G, B, A.
struct Surface {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// How a shape's paint combines with what lies below it (see swf::BlendMode).
using BlendMode = swf::BlendMode;

// The blend mode of a raw SWF byte; unknown values are Normal.
inline BlendMode blendModeFromByte(uint8_t value)
{
    return value >= 2 && value <= 14 ? BlendMode(value) : BlendMode::Normal;
}

struct FrameOptions {
    Rgba background{255, 255, 255, 255};
    int threads = 1;           // bands are spread over this many threads
    bool smoothBitmaps = true; // high quality: bilinear for smoothed bitmap fills
};

// What happened to the shapes of the last frame.
struct FrameStats {
    uint32_t shapesDrawn = 0;
    uint32_t shapesCulled = 0;  // entirely outside the surface
    uint32_t shapesSkipped = 0; // non-finite matrix or coordinates, or over the size limits
};

// Whether a point in shape coordinates (twips) lies inside one of the
// shape's fills (by its fill rule) or on one of its strokes. Used for button
// hit areas and for shape-accurate hit tests.
bool hitTest(const swf::Shape& shape, Point twips);

class Renderer {
public:
    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Starts a frame on this surface; the surface must outlive finish().
    void begin(const Surface& surface, const FrameOptions& options);

    // Draws a shape. `toPixels` maps shape twips to surface pixels (it
    // includes the 1/20 twips-to-pixel factor); `cx` is the accumulated
    // colour transform; `bitmaps` resolves bitmap fills and must outlive
    // finish(). `blend` says how the paint combines with the surface (it
    // is ignored while building a mask).
    void drawShape(const swf::Shape& shape, const Matrix& toPixels, const ColorTransform& cx,
                   const BitmapSource* bitmaps, BlendMode blend = BlendMode::Normal);

    // Masks: the shapes drawn between beginMask() and endMask() form a mask
    // (only their coverage counts); everything drawn after endMask() and
    // before the matching popMask() is clipped by it, and by every enclosing
    // mask. Masks nest.
    void beginMask();
    void endMask();
    void popMask();

    // Rasterizes everything recorded since begin() into the surface.
    void finish();

    // Counters of the frame being recorded, or of the last one finished.
    FrameStats stats() const;
    // The options of the frame begun last.
    const FrameOptions& options() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zf::raster
