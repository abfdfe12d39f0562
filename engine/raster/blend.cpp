// Compositing loops: spans of shaded or solid pixels onto the surface, and
// the group buffer that joins the fills of one shape.
//
// Every source here is premultiplied with no colour channel above its alpha
// (gradient ramps, solid colours and bitmaps are built or sanitized that
// way). For such pixels source-over needs no special cases: zero coverage
// leaves the destination as it is and an opaque source replaces it, so the
// loops run branch-free, four pixels at a time with SSE2 where available,
// and give exactly what the per-pixel formula gives.
#include "raster/paint_p.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZF_RASTER_SSE2 1
#endif

namespace zf::raster {
namespace {

inline uint32_t overScaled(uint32_t dst, uint32_t source, uint32_t coverage)
{
    return blendOver(dst, scalePixel(source, coverage));
}

#if ZF_RASTER_SSE2

// x * k / 255 rounded, per 16-bit lane (x, k <= 255): the same rounding as
// scalePixel.
inline __m128i mulDiv255(__m128i x, __m128i k)
{
    __m128i v = _mm_add_epi16(_mm_mullo_epi16(x, k), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(v, _mm_srli_epi16(v, 8)), 8);
}

// Each pixel's alpha repeated over its four 16-bit channel lanes.
inline __m128i alphaLanes(__m128i pixels16)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels16, 0xFF), 0xFF);
}

// Four coverage bytes as two registers of per-channel factors (pixels 0-1
// and 2-3).
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

inline __m128i scale4(__m128i pixels, Factors k)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i low = mulDiv255(_mm_unpacklo_epi8(pixels, zero), k.low);
    __m128i high = mulDiv255(_mm_unpackhi_epi8(pixels, zero), k.high);
    return _mm_packus_epi16(low, high);
}

// Source-over of four premultiplied pixels. The 32-bit add matches the
// scalar blendOver bit for bit.
inline __m128i over4(__m128i dst, __m128i src)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    __m128i keepLow = _mm_sub_epi16(full, alphaLanes(_mm_unpacklo_epi8(src, zero)));
    __m128i keepHigh = _mm_sub_epi16(full, alphaLanes(_mm_unpackhi_epi8(src, zero)));
    __m128i low = mulDiv255(_mm_unpacklo_epi8(dst, zero), keepLow);
    __m128i high = mulDiv255(_mm_unpackhi_epi8(dst, zero), keepHigh);
    return _mm_add_epi32(src, _mm_packus_epi16(low, high));
}

inline __m128i load4(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store4(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
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

void blendSolidSpan(uint8_t* dst, uint32_t color, const uint8_t* coverage, int count)
{
    const bool opaque = pixelAlpha(color) == 255;
    int i = 0;
#if ZF_RASTER_SSE2
    const __m128i colors = _mm_set1_epi32(int(color));
    for (; i + 4 <= count; i += 4) {
        uint8_t* d = dst + 4 * i;
        if (allEqual4(coverage + i, 0))
            continue;
        if (opaque && allEqual4(coverage + i, 255)) {
            store4(d, colors);
            continue;
        }
        store4(d, over4(load4(d), scale4(colors, coverageLanes(coverage + i))));
    }
#endif
    for (; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), color, coverage[i]));
}

void blendSpan(uint8_t* dst, const uint32_t* source, const uint8_t* coverage, int count)
{
    int i = 0;
#if ZF_RASTER_SSE2
    for (; i + 4 <= count; i += 4) {
        uint8_t* d = dst + 4 * i;
        if (allEqual4(coverage + i, 0))
            continue;
        store4(d, over4(load4(d), scale4(load4(source + i), coverageLanes(coverage + i))));
    }
#endif
    for (; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), source[i], coverage[i]));
}

void blendSolidRun(uint8_t* dst, uint32_t color, uint32_t coverage, int count)
{
    const uint32_t src = coverage == 255 ? color : scalePixel(color, coverage);
    const uint32_t alpha = pixelAlpha(src);
    if (alpha == 255) {
        for (int i = 0; i < count; ++i)
            storePixel(dst + 4 * i, src);
        return;
    }
    if (src == 0)
        return;
    const uint32_t keep = 255 - alpha;
    int i = 0;
#if ZF_RASTER_SSE2
    const __m128i sources = _mm_set1_epi32(int(src));
    const __m128i keeps = _mm_set1_epi16(int16_t(keep));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= count; i += 4) {
        __m128i d = load4(dst + 4 * i);
        __m128i low = mulDiv255(_mm_unpacklo_epi8(d, zero), keeps);
        __m128i high = mulDiv255(_mm_unpackhi_epi8(d, zero), keeps);
        store4(dst + 4 * i, _mm_add_epi32(sources, _mm_packus_epi16(low, high)));
    }
#endif
    for (; i < count; ++i)
        storePixel(dst + 4 * i, src + scalePixel(loadPixel(dst + 4 * i), keep));
}

void blendRun(uint8_t* dst, const uint32_t* source, uint32_t coverage, bool opaque, int count)
{
    if (coverage == 255 && opaque) {
        std::memcpy(dst, source, size_t(count) * 4);
        return;
    }
    int i = 0;
#if ZF_RASTER_SSE2
    const __m128i k = _mm_set1_epi16(int16_t(coverage));
    const Factors factors{k, k};
    for (; i + 4 <= count; i += 4) {
        __m128i src = load4(source + i);
        if (coverage != 255)
            src = scale4(src, factors);
        store4(dst + 4 * i, over4(load4(dst + 4 * i), src));
    }
#endif
    for (; i < count; ++i)
        storePixel(dst + 4 * i, overScaled(loadPixel(dst + 4 * i), source[i], coverage));
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

void gatherSpan(uint32_t* group, uint8_t* covered, const uint32_t* source, const uint8_t* coverage,
                int count)
{
    for (int i = 0; i < count; ++i) {
        if (coverage[i])
            gatherPixel(group[i], covered[i], source[i], coverage[i]);
    }
}

void gatherSolidSpan(uint32_t* group, uint8_t* covered, uint32_t color, const uint8_t* coverage,
                     int count)
{
    for (int i = 0; i < count; ++i) {
        if (coverage[i])
            gatherPixel(group[i], covered[i], color, coverage[i]);
    }
}

void gatherRun(uint32_t* group, uint8_t* covered, const uint32_t* source, uint32_t coverage,
               int count)
{
    for (int i = 0; i < count; ++i)
        gatherPixel(group[i], covered[i], source[i], coverage);
}

void gatherSolidRun(uint32_t* group, uint8_t* covered, uint32_t color, uint32_t coverage, int count)
{
    const uint32_t scaled = coverage == 255 ? color : scalePixel(color, coverage);
    for (int i = 0; i < count; ++i) {
        if (covered[i] == 0) {
            group[i] = scaled;
            covered[i] = uint8_t(coverage);
        } else {
            gatherPixel(group[i], covered[i], color, coverage);
        }
    }
}

void flushGatheredSpan(uint8_t* dst, uint32_t* group, uint8_t* covered, int count)
{
    int i = 0;
#if ZF_RASTER_SSE2
    for (; i + 4 <= count; i += 4) {
        const __m128i src = load4(group + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(src, _mm_setzero_si128())) == 0xFFFF)
            continue;
        store4(dst + 4 * i, over4(load4(dst + 4 * i), src));
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

} // namespace zf::raster
