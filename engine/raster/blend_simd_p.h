// SSE2 building blocks shared by the compositing loops and the bitmap
// sampler. Pixels are handled either packed (four per register) or widened
// to 16-bit lanes (two per register, one lane per channel). Every helper
// rounds exactly as its scalar counterpart in paint_p.h does.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZF_RASTER_SSE2 1
#endif

namespace zf::raster::simd {

#if ZF_RASTER_SSE2

// x * k / 255 rounded, per 16-bit lane (x, k <= 255): the same rounding as
// scalePixel. With v = x * k + 128, scalePixel's (v + (v >> 8)) >> 8 equals
// (v * 257) >> 16 for every such x and k, one high-half multiply.
inline __m128i mulDiv255(__m128i x, __m128i k)
{
    const __m128i v = _mm_add_epi16(_mm_mullo_epi16(x, k), _mm_set1_epi16(128));
    return _mm_mulhi_epu16(v, _mm_set1_epi16(257));
}

// Each pixel's alpha repeated over its four 16-bit channel lanes.
inline __m128i alphaLanes(__m128i pixels16)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels16, 0xFF), 0xFF);
}

inline __m128i load4(const void* p)
{
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store4(void* p, __m128i v)
{
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
// Two neighbouring pixels in the low half of a register.
inline __m128i load2(const void* p)
{
    return _mm_loadl_epi64(static_cast<const __m128i*>(p));
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

// Whether all four pixels have alpha 255.
inline bool allOpaque4(__m128i pixels)
{
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(pixels, alpha), alpha)) == 0xFFFF;
}

#endif

} // namespace zf::raster::simd
