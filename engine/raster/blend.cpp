// Compositing loops: spans of shaded or solid pixels onto the surface, and
// the group buffer that joins the fills of one shape.
//
// Every source here is premultiplied with no colour channel above its alpha
// (gradient ramps, solid colours and bitmaps are built or sanitized that
// way). For such pixels source-over needs no special cases: zero coverage
// leaves the destination as it is and an opaque source replaces it. The
// loops take four pixels at a time with SSE2 where available, skip blocks
// nothing covers, store fully covered opaque blocks directly, and give
// exactly what the per-pixel formula gives.
#include "raster/blend_simd_p.h"
#include "raster/paint_p.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zf::raster {
namespace {

inline uint32_t overScaled(uint32_t dst, uint32_t source, uint32_t coverage)
{
    return blendOver(dst, scalePixel(source, coverage));
}

#if ZF_RASTER_SSE2

using simd::alphaLanes;
using simd::load2;
using simd::load4;
using simd::mulDiv255;
using simd::over4;
using simd::store4;

// Most coverage spans are the one to three pixels an edge crosses on a row,
// so the loops below work on pairs of pixels widened to 16-bit lanes (pixel
// 0 in lanes 0-3), with whole registers for the bulk and a pair or a single
// pixel at the end. The scaled source stays widened up to the final pack.

inline __m128i widen(__m128i pixels)
{
    return _mm_unpacklo_epi8(pixels, _mm_setzero_si128());
}
inline __m128i widenHigh(__m128i pixels)
{
    return _mm_unpackhi_epi8(pixels, _mm_setzero_si128());
}

// Source-over of a scaled source onto the destination, both widened. The
// sum stays within 255 per channel (no channel above its alpha), so the
// 16-bit add gives what the scalar 32-bit add gives.
inline __m128i over2(__m128i dst16, __m128i src16)
{
    const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), alphaLanes(src16));
    return _mm_add_epi16(src16, mulDiv255(dst16, keep));
}

// Coverage factors of two pixels: c0 over lanes 0-3, c1 over lanes 4-7.
inline __m128i coveragePair(uint32_t c0, uint32_t c1)
{
    __m128i k = _mm_cvtsi32_si128(int(c0 | (c1 << 16)));
    k = _mm_unpacklo_epi16(k, k);
    return _mm_unpacklo_epi32(k, k);
}

// Coverage factors of four pixels, as two pairs.
struct Factors {
    __m128i low, high;
};
inline Factors coverageLanes(const uint8_t* coverage)
{
    uint32_t four;
    std::memcpy(&four, coverage, 4);
    __m128i k = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(four)), _mm_setzero_si128());
    k = _mm_unpacklo_epi16(k, k);
    return {_mm_unpacklo_epi32(k, k), _mm_unpackhi_epi32(k, k)};
}

inline __m128i loadOne(const void* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(int(v));
}
inline void storeOne(void* p, __m128i v)
{
    const uint32_t low = uint32_t(_mm_cvtsi128_si32(v));
    std::memcpy(p, &low, 4);
}
inline void store2(void* p, __m128i v)
{
    _mm_storel_epi64(static_cast<__m128i*>(p), v);
}

// Runs `pair(i, n)` for the last one to three pixels of a loop over blocks
// of four: a pair, then a single pixel (n = 1).
template <class Pair>
inline void forTail(int i, int count, Pair&& pair)
{
    if (i + 2 <= count) {
        pair(i, 2);
        i += 2;
    }
    if (i < count)
        pair(i, 1);
}

#endif

// Whether four coverage bytes are all `value`.
inline bool allEqual4(const uint8_t* coverage, uint8_t value)
{
    uint32_t four;
    std::memcpy(&four, coverage, 4);
    return four == uint32_t(value) * 0x01010101u;
}

} // namespace

#if ZF_RASTER_SSE2
namespace {

// Where the pixels composited by blendCovered come from: one colour, or a
// span of shaded pixels.
struct SolidPixels {
    __m128i colors;
    bool opaque;
    __m128i four(int) const { return colors; }
    __m128i tail(int, int) const { return colors; }
    bool allOpaque(__m128i) const { return opaque; }
};
struct SpanPixels {
    const uint32_t* source;
    __m128i four(int at) const { return load4(source + at); }
    __m128i tail(int at, int n) const { return n == 2 ? load2(source + at) : loadOne(source + at); }
    bool allOpaque(__m128i pixels) const { return simd::allOpaque4(pixels); }
};

// Source-over of the pixels, each scaled by its coverage, four at a time.
template <class Pixels>
void blendCovered(uint8_t* dst, const Pixels& pixelsAt, const uint8_t* coverage, int count)
{
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        uint8_t* d = dst + 4 * i;
        if (allEqual4(coverage + i, 0))
            continue;
        const __m128i src = pixelsAt.four(i);
        // Fully covered opaque pixels replace the destination.
        if (allEqual4(coverage + i, 255) && pixelsAt.allOpaque(src)) {
            store4(d, src);
            continue;
        }
        const Factors k = coverageLanes(coverage + i);
        const __m128i pixels = load4(d);
        const __m128i low = over2(widen(pixels), mulDiv255(widen(src), k.low));
        const __m128i high = over2(widenHigh(pixels), mulDiv255(widenHigh(src), k.high));
        store4(d, _mm_packus_epi16(low, high));
    }
    forTail(i, count, [&](int at, int n) {
        uint8_t* d = dst + 4 * at;
        const uint32_t c0 = coverage[at], c1 = n == 2 ? coverage[at + 1] : 0;
        if ((c0 | c1) == 0)
            return;
        const __m128i src = widen(pixelsAt.tail(at, n));
        const __m128i pixels = widen(n == 2 ? load2(d) : loadOne(d));
        const __m128i result = over2(pixels, mulDiv255(src, coveragePair(c0, c1)));
        const __m128i packed = _mm_packus_epi16(result, result);
        n == 2 ? store2(d, packed) : storeOne(d, packed);
    });
}

} // namespace
#endif

void blendSolidSpan(uint8_t* dst, uint32_t color, const uint8_t* coverage, int count)
{
#if ZF_RASTER_SSE2
    blendCovered(dst, SolidPixels{_mm_set1_epi32(int(color)), pixelAlpha(color) == 255}, coverage,
                 count);
#else
    for (int i = 0; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), color, coverage[i]));
#endif
}

void blendSpan(uint8_t* dst, const uint32_t* source, const uint8_t* coverage, int count)
{
#if ZF_RASTER_SSE2
    blendCovered(dst, SpanPixels{source}, coverage, count);
#else
    for (int i = 0; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), source[i], coverage[i]));
#endif
}

void blendSolidRun(uint8_t* dst, uint32_t color, uint32_t coverage, int count)
{
    const uint32_t src = coverage == 255 ? color : scalePixel(color, coverage);
    const uint32_t alpha = pixelAlpha(src);
    int i = 0;
#if ZF_RASTER_SSE2
    const __m128i sources = _mm_set1_epi32(int(src));
    if (alpha == 255) {
        for (; i + 4 <= count; i += 4)
            store4(dst + 4 * i, sources);
        forTail(i, count, [&](int at, int n) {
            n == 2 ? store2(dst + 4 * at, sources) : storeOne(dst + 4 * at, sources);
        });
        return;
    }
#else
    if (alpha == 255) {
        for (; i < count; ++i)
            storePixel(dst + 4 * i, src);
        return;
    }
#endif
    if (src == 0)
        return;
    const uint32_t keep = 255 - alpha;
#if ZF_RASTER_SSE2
    const __m128i keeps = _mm_set1_epi16(int16_t(keep));
    for (; i + 4 <= count; i += 4) {
        const __m128i d = load4(dst + 4 * i);
        const __m128i low = mulDiv255(widen(d), keeps);
        const __m128i high = mulDiv255(widenHigh(d), keeps);
        store4(dst + 4 * i, _mm_add_epi32(sources, _mm_packus_epi16(low, high)));
    }
    forTail(i, count, [&](int at, int n) {
        uint8_t* d = dst + 4 * at;
        const __m128i pixels = widen(n == 2 ? load2(d) : loadOne(d));
        const __m128i kept = mulDiv255(pixels, keeps);
        const __m128i result = _mm_add_epi32(sources, _mm_packus_epi16(kept, kept));
        n == 2 ? store2(d, result) : storeOne(d, result);
    });
#else
    for (; i < count; ++i)
        storePixel(dst + 4 * i, src + scalePixel(loadPixel(dst + 4 * i), keep));
#endif
}

void blendRun(uint8_t* dst, const uint32_t* source, uint32_t coverage, bool opaque, int count)
{
    if (coverage == 255 && opaque) {
        std::memcpy(dst, source, size_t(count) * 4);
        return;
    }
#if ZF_RASTER_SSE2
    int i = 0;
    if (coverage == 255) {
        // Full coverage leaves the source as it is: opaque blocks (most of
        // a photo) replace the destination, the rest is composited.
        for (; i + 4 <= count; i += 4) {
            const __m128i src = load4(source + i);
            store4(dst + 4 * i, simd::allOpaque4(src) ? src : over4(load4(dst + 4 * i), src));
        }
        forTail(i, count, [&](int at, int n) {
            uint8_t* d = dst + 4 * at;
            const __m128i src = widen(n == 2 ? load2(source + at) : loadOne(source + at));
            const __m128i result = over2(widen(n == 2 ? load2(d) : loadOne(d)), src);
            const __m128i packed = _mm_packus_epi16(result, result);
            n == 2 ? store2(d, packed) : storeOne(d, packed);
        });
        return;
    }
    const __m128i k = _mm_set1_epi16(int16_t(coverage));
    for (; i + 4 <= count; i += 4) {
        const __m128i src = load4(source + i);
        const __m128i pixels = load4(dst + 4 * i);
        const __m128i low = over2(widen(pixels), mulDiv255(widen(src), k));
        const __m128i high = over2(widenHigh(pixels), mulDiv255(widenHigh(src), k));
        store4(dst + 4 * i, _mm_packus_epi16(low, high));
    }
    forTail(i, count, [&](int at, int n) {
        uint8_t* d = dst + 4 * at;
        const __m128i src = widen(n == 2 ? load2(source + at) : loadOne(source + at));
        const __m128i pixels = widen(n == 2 ? load2(d) : loadOne(d));
        const __m128i result = over2(pixels, mulDiv255(src, k));
        const __m128i packed = _mm_packus_epi16(result, result);
        n == 2 ? store2(d, packed) : storeOne(d, packed);
    });
#else
    for (int i = 0; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), source[i], coverage));
#endif
}

namespace {

// Channel-wise sum clamped at 255, all four channels at once: each pair of
// channels has a spare bit above it to catch the carry.
inline uint32_t addSaturated(uint32_t a, uint32_t b)
{
    uint32_t rb = (a & 0x00FF00FFu) + (b & 0x00FF00FFu);
    uint32_t ag = ((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu);
    rb |= ((rb >> 8) & 0x00010001u) * 0xFFu;
    ag |= ((ag >> 8) & 0x00010001u) * 0xFFu;
    return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

// The part of the new coverage that does not fit in the uncovered rest of
// the pixel lies over what was gathered, and hides that share of it. A pixel
// nothing was gathered in yet (the common case: shape interiors) simply
// takes the scaled source; the group value is zero there.
inline void gatherPixel(uint32_t& group, uint8_t& covered, uint32_t source, uint32_t coverage)
{
    const uint32_t existing = covered;
    if (existing == 0) {
        group = coverage == 255 ? source : scalePixel(source, coverage);
        covered = uint8_t(coverage);
        return;
    }
    const uint32_t added = std::min<uint32_t>(coverage, 255u - existing);
    const uint32_t overlapping = coverage - added;
    uint32_t value = group;
    if (overlapping)
        value = scalePixel(value, 255 - overlapping * pixelAlpha(source) / existing);
    group = addSaturated(value, scalePixel(source, coverage));
    covered = uint8_t(existing + added);
}

} // namespace

// The gathering loops below take blocks of four pixels nothing was gathered
// in yet (shape interiors, the common case) at once: such a pixel takes the
// source scaled by its coverage. Its group value is zero, which is also
// what scaling by a zero coverage gives, so zero coverage needs no care.

namespace {

// Runs `pixel(i)` for pixels nothing was gathered in yet four at a time as
// `block(i)` where SSE2 is available, pixel by pixel otherwise.
template <class Block, class Pixel>
inline void forGatherBlocks([[maybe_unused]] const uint8_t* covered, int count, Block&& block,
                            Pixel&& pixel)
{
    int i = 0;
#if ZF_RASTER_SSE2
    for (; i + 4 <= count; i += 4) {
        if (allEqual4(covered + i, 0)) {
            block(i);
            continue;
        }
        for (int k = i; k < i + 4; ++k)
            pixel(k);
    }
#else
    (void)block;
#endif
    for (; i < count; ++i)
        pixel(i);
}

} // namespace

void gatherSpan(uint32_t* group, uint8_t* covered, const uint32_t* source, const uint8_t* coverage,
                int count)
{
    forGatherBlocks(
        covered, count,
        [&]([[maybe_unused]] int i) {
#if ZF_RASTER_SSE2
            const Factors k = coverageLanes(coverage + i);
            const __m128i src = load4(source + i);
            store4(group + i, _mm_packus_epi16(mulDiv255(widen(src), k.low),
                                               mulDiv255(widenHigh(src), k.high)));
            std::memcpy(covered + i, coverage + i, 4);
#endif
        },
        [&](int i) {
            if (coverage[i])
                gatherPixel(group[i], covered[i], source[i], coverage[i]);
        });
}

void gatherSolidSpan(uint32_t* group, uint8_t* covered, uint32_t color, const uint8_t* coverage,
                     int count)
{
#if ZF_RASTER_SSE2
    const __m128i color16 = widen(_mm_set1_epi32(int(color)));
#endif
    forGatherBlocks(
        covered, count,
        [&]([[maybe_unused]] int i) {
#if ZF_RASTER_SSE2
            const Factors k = coverageLanes(coverage + i);
            store4(group + i,
                   _mm_packus_epi16(mulDiv255(color16, k.low), mulDiv255(color16, k.high)));
            std::memcpy(covered + i, coverage + i, 4);
#endif
        },
        [&](int i) {
            if (coverage[i])
                gatherPixel(group[i], covered[i], color, coverage[i]);
        });
}

void gatherRun(uint32_t* group, uint8_t* covered, const uint32_t* source, uint32_t coverage,
               int count)
{
#if ZF_RASTER_SSE2
    const uint32_t coverages = coverage * 0x01010101u;
    const __m128i k = _mm_set1_epi16(int16_t(coverage));
#endif
    forGatherBlocks(
        covered, count,
        [&]([[maybe_unused]] int i) {
#if ZF_RASTER_SSE2
            const __m128i src = load4(source + i);
            store4(group + i,
                   _mm_packus_epi16(mulDiv255(widen(src), k), mulDiv255(widenHigh(src), k)));
            std::memcpy(covered + i, &coverages, 4);
#endif
        },
        [&](int i) { gatherPixel(group[i], covered[i], source[i], coverage); });
}

void gatherSolidRun(uint32_t* group, uint8_t* covered, uint32_t color, uint32_t coverage, int count)
{
    const uint32_t scaled = coverage == 255 ? color : scalePixel(color, coverage);
    const uint32_t coverages = coverage * 0x01010101u;
    forGatherBlocks(
        covered, count,
        [&](int i) {
            for (int k = 0; k < 4; ++k)
                group[i + k] = scaled;
            std::memcpy(covered + i, &coverages, 4);
        },
        [&](int i) {
            if (covered[i] == 0) {
                group[i] = scaled;
                covered[i] = uint8_t(coverage);
            } else {
                gatherPixel(group[i], covered[i], color, coverage);
            }
        });
}

void flushGatheredSpan(uint8_t* dst, uint32_t* group, uint8_t* covered, int count)
{
    int i = 0;
#if ZF_RASTER_SSE2
    for (; i + 4 <= count; i += 4) {
        const __m128i src = load4(group + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(src, _mm_setzero_si128())) == 0xFFFF)
            continue;
        // Opaque gathered pixels (covered fully) replace the destination.
        store4(dst + 4 * i, simd::allOpaque4(src) ? src : over4(load4(dst + 4 * i), src));
        store4(group + i, _mm_setzero_si128());
    }
    std::fill(covered, covered + i, uint8_t(0));
#endif
    for (; i < count; ++i) {
        storePixel(dst + 4 * i, blendOver(loadPixel(dst + 4 * i), group[i]));
        group[i] = 0;
        covered[i] = 0;
    }
}

// Blend modes other than source-over, one pixel at a time: they are rare
// (an object with a blend mode draws one image-sized rectangle), so
// clarity wins over speed here.

namespace {

inline uint32_t div255(uint32_t v)
{
    v += 128;
    return (v + (v >> 8)) >> 8;
}

// as * ab * B(cs / as, cb / ab) of a separable mode, on 0..255 values, in
// units of 255 * 255. Written on premultiplied values so that no division
// by alpha is needed.
int64_t separableTerm(BlendMode mode, int64_t cs, int64_t as, int64_t cb, int64_t ab)
{
    switch (mode) {
    case BlendMode::Multiply: return cs * cb;
    case BlendMode::Screen: return cs * ab + cb * as - cs * cb;
    case BlendMode::Lighten: return std::max(cs * ab, cb * as);
    case BlendMode::Darken: return std::min(cs * ab, cb * as);
    case BlendMode::Difference: return std::abs(cs * ab - cb * as);
    case BlendMode::Overlay: // hard light with source and backdrop swapped
        std::swap(cs, cb), std::swap(as, ab);
        [[fallthrough]];
    case BlendMode::HardLight:
        return 2 * cs <= as ? 2 * cs * cb : as * ab - 2 * (as - cs) * (ab - cb);
    default: return cs * ab; // normal: the source's own colour
    }
}

inline uint32_t channelOf(uint32_t pixel, int shift)
{
    return (pixel >> shift) & 0xFF;
}

} // namespace

uint32_t blendModePixel(BlendMode mode, uint32_t dst, uint32_t source, uint32_t coverage)
{
    if (coverage == 0)
        return dst;
    const uint32_t ab = pixelAlpha(dst);
    if (mode == BlendMode::Alpha) {
        // Outside the source's coverage the backdrop stays as it is.
        const uint32_t hidden = div255(coverage * (255 - pixelAlpha(source)));
        return scalePixel(dst, 255 - hidden);
    }
    const uint32_t src = coverage == 255 ? source : scalePixel(source, coverage);
    const uint32_t as = pixelAlpha(src);
    switch (mode) {
    case BlendMode::Normal:
    case BlendMode::Layer: return blendOver(dst, src);
    case BlendMode::Erase: return scalePixel(dst, 255 - as);
    default: break;
    }
    const uint32_t alpha = as + ab - div255(as * ab);
    uint32_t out[3];
    for (int c = 0; c < 3; ++c) {
        const int64_t cs = channelOf(src, 8 * c), cb = channelOf(dst, 8 * c);
        int64_t value;
        switch (mode) {
        case BlendMode::Add: value = cs + cb; break;
        case BlendMode::Subtract: value = cb - cs; break;
        case BlendMode::Invert: value = div255(uint32_t((255 - as) * cb + as * (ab - cb))); break;
        default:
            value = div255(uint32_t(std::max<int64_t>(0, (255 - ab) * cs + (255 - as) * cb +
                                                             separableTerm(mode, cs, as, cb, ab))));
            break;
        }
        const uint32_t limit = mode == BlendMode::Invert ? ab : alpha;
        out[c] = uint32_t(std::clamp<int64_t>(value, 0, limit));
    }
    return packPixel(out[0], out[1], out[2], mode == BlendMode::Invert ? ab : alpha);
}

void blendModeSpan(BlendMode mode, uint8_t* dst, const uint32_t* source, uint32_t color,
                   const uint8_t* coverage, int count)
{
    for (int i = 0; i < count; ++i) {
        uint8_t* d = dst + 4 * i;
        storePixel(d, blendModePixel(mode, loadPixel(d), source ? source[i] : color, coverage[i]));
    }
}

} // namespace zf::raster
