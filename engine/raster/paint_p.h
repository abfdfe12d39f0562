// Paints: what colour each covered pixel receives, and compositing it onto
// the surface. Pixels are premultiplied RGBA8 handled as one uint32_t whose
// memory order is R, G, B, A (so R is the low byte on our little-endian
// targets).
#pragma once

#include "raster/raster.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace zf::raster {

static_assert(std::endian::native == std::endian::little, "pixel packing assumes little endian");

inline uint32_t packPixel(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return r | (g << 8) | (b << 16) | (a << 24);
}
inline uint32_t pixelAlpha(uint32_t p)
{
    return p >> 24;
}

inline uint32_t loadPixel(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void storePixel(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

// All four channels times k / 255, rounded.
inline uint32_t scalePixel(uint32_t c, uint32_t k)
{
    uint32_t rb = (c & 0x00FF00FFu) * k + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((c >> 8) & 0x00FF00FFu) * k + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// Source-over of a premultiplied source.
inline uint32_t blendOver(uint32_t dst, uint32_t src)
{
    return src + scalePixel(dst, 255 - pixelAlpha(src));
}

inline uint32_t premultiply(Rgba c)
{
    uint32_t straight = packPixel(c.r, c.g, c.b, 255);
    return (scalePixel(straight, c.a) & 0x00FFFFFFu) | (uint32_t(c.a) << 24);
}

struct Paint {
    enum class Kind : uint8_t { None, Solid, Linear, Radial, Focal, Bitmap };
    enum class Transform : uint8_t { Identity, AlphaScale, General };

    Kind kind = Kind::None;
    bool opaque = false; // every shaded pixel has alpha 255
    uint32_t color = 0;  // Solid, premultiplied
    // Device pixel -> gradient space normalised to the unit square/circle
    // (linear: x in 0..1 across the ramp), or -> bitmap pixels.
    Matrix inverse;
    swf::SpreadMode spread = swf::SpreadMode::Pad;
    double focal = 0;        // focal point x, unit circle coordinates
    uint32_t rampOffset = 0; // 256 premultiplied entries in the frame's ramp pool
    const Bitmap* bitmap = nullptr;
    bool repeat = false;
    bool smooth = false;
    Transform transform = Transform::Identity;
    ColorTransform cx;
};

// Keeps built gradient ramps across frames: a movie redraws the same
// gradients under the same colour transforms frame after frame, and looking
// a ramp up costs far less than building it. Bounded: cleared when full.
class RampCache {
public:
    // Appends the ramp of `gradient` under `cx` to `ramps`; returns whether
    // all of its entries are opaque.
    bool append(const swf::Gradient& gradient, const ColorTransform& cx,
                std::vector<uint32_t>& ramps);

private:
    struct Entry {
        std::array<uint32_t, 256> ramp;
        bool opaque;
    };
    std::string m_key; // reused: no allocation per lookup
    std::unordered_map<std::string, Entry> m_entries;
};

Paint makeSolidPaint(Rgba color, const ColorTransform& cx);
// `cache` (optional) supplies and keeps gradient ramps.
Paint makeFillPaint(const swf::FillStyle& fill, const Matrix& toPixels, const ColorTransform& cx,
                    const BitmapSource* bitmaps, bool smoothBitmaps, std::vector<uint32_t>& ramps,
                    RampCache* cache = nullptr);

// Shades pixels (x + skip .. x + skip + count - 1, y), sampled at pixel
// centres. Positions step incrementally from pixel x, so a row shaded in
// pieces with a common x matches the row shaded in one go.
void shadeSpan(const Paint& paint, const uint32_t* ramps, int x, int y, int count, uint32_t* out,
               int skip = 0);

// The bitmap part of shadeSpan, with the same arguments.
void shadeBitmap(const Paint& paint, int x, int y, int skip, int count, uint32_t* out);

// Composites `count` pixels starting at `dst` with per-pixel coverage.
void blendSolidSpan(uint8_t* dst, uint32_t color, const uint8_t* coverage, int count);
void blendSpan(uint8_t* dst, const uint32_t* source, const uint8_t* coverage, int count);
// The same with one coverage value (1..255) for the whole span; `opaque`
// promises that every source pixel has alpha 255.
void blendSolidRun(uint8_t* dst, uint32_t color, uint32_t coverage, int count);
void blendRun(uint8_t* dst, const uint32_t* source, uint32_t coverage, bool opaque, int count);

// Fills of one shape group meet along shared edges, where their coverages
// add up to one pixel. Compositing them one by one would let the background
// show through there, so they are first gathered in a group buffer: coverage
// that fits in what is still uncovered is added, the rest composited over.
// `covered` tracks the coverage gathered per pixel.
void gatherSpan(uint32_t* group, uint8_t* covered, const uint32_t* source, const uint8_t* coverage,
                int count);
void gatherSolidSpan(uint32_t* group, uint8_t* covered, uint32_t color, const uint8_t* coverage,
                     int count);
// The same with one coverage value (1..255) for the whole span.
void gatherRun(uint32_t* group, uint8_t* covered, const uint32_t* source, uint32_t coverage,
               int count);
void gatherSolidRun(uint32_t* group, uint8_t* covered, uint32_t color, uint32_t coverage,
                    int count);
// Composites a gathered span onto the surface and clears it.
void flushGatheredSpan(uint8_t* dst, uint32_t* group, uint8_t* covered, int count);

// One pixel of `source` (premultiplied, covering `coverage` of the pixel,
// 0..255) combined with `dst` by a blend mode other than source-over.
uint32_t blendModePixel(BlendMode mode, uint32_t dst, uint32_t source, uint32_t coverage);
// The same along a span; `source` may be null, and then every pixel of the
// span takes `color`.
void blendModeSpan(BlendMode mode, uint8_t* dst, const uint32_t* source, uint32_t color,
                   const uint8_t* coverage, int count);

// Linear-light conversions used by gradient interpolation.
double srgbToLinear(uint8_t value);
uint8_t linearToSrgb(double value);

} // namespace zf::raster
