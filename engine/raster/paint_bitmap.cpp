// Bitmap fills: texel lookup (nearest or bilinear), wrapping or clamping at
// the bitmap's border, and the fill's colour transform.
//
// The plain sampler works pixel by pixel. The faster paths below give the
// very same pixels, relying on these facts:
// - a bilinear sample whose 2x2 texel block lies inside the bitmap is a
//   fixed sequence of integer steps, which SSE2 runs for four samples at
//   once (two per register, one 16-bit lane per channel);
// - under a matrix without rotation or shear the texel rows stay the same
//   along a span, so only the column moves;
// - when every bilinear weight is zero (whole-texel positions and steps,
//   as under a plain translation at scale 1) a bilinear sample is the texel
//   its position names, exactly what nearest sampling reads;
// - nearest sampling that steps one texel per pixel copies runs of a row.
#include "raster/blend_simd_p.h"
#include "raster/paint_p.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zf::raster {
namespace {

uint32_t transformPixel(uint32_t p, const Paint& paint)
{
    if (paint.transform == Paint::Transform::AlphaScale)
        return scalePixel(p, uint32_t(paint.cx.aMul * 255 / 256));
    uint32_t a = pixelAlpha(p);
    Rgba straight{0, 0, 0, uint8_t(a)};
    if (a != 0) {
        straight.r = uint8_t(std::min<uint32_t>(255, ((p & 0xFF) * 255 + a / 2) / a));
        straight.g = uint8_t(std::min<uint32_t>(255, (((p >> 8) & 0xFF) * 255 + a / 2) / a));
        straight.b = uint8_t(std::min<uint32_t>(255, (((p >> 16) & 0xFF) * 255 + a / 2) / a));
    }
    return premultiply(paint.cx.apply(straight));
}

// Keeps colour channels at or below alpha so that compositing cannot carry
// into the next channel, whatever a decoder produced. Costs nothing for
// opaque texels, the common case.
inline uint32_t sanitizeTexel(uint32_t p)
{
    const uint32_t a = pixelAlpha(p);
    if (a == 255)
        return p;
    uint32_t r = std::min(p & 0xFF, a), g = std::min((p >> 8) & 0xFF, a),
             b = std::min((p >> 16) & 0xFF, a);
    return packPixel(r, g, b, a);
}

template <Paint::Transform Transform>
inline uint32_t finishTexel(uint32_t p, const Paint& paint)
{
    p = sanitizeTexel(p);
    if constexpr (Transform == Paint::Transform::Identity)
        return p;
    else
        return transformPixel(p, paint);
}

int wrapCoordinate(int64_t v, int size, bool repeat)
{
    if (uint64_t(v) < uint64_t(size))
        return int(v);
    if (repeat) {
        int64_t m = v % size;
        return int(m < 0 ? m + size : m);
    }
    return v < 0 ? 0 : size - 1;
}

// Texture positions are 16.16 fixed point; the limit keeps a whole span of
// steps inside int64.
int64_t toTextureFixed(double v)
{
    if (!(v == v))
        return 0;
    return int64_t(std::clamp(v, -1e9, 1e9) * 65536);
}

uint32_t lerpPixel(uint32_t a, uint32_t b, uint32_t w) // w in 0..256
{
    uint32_t rb = ((a & 0x00FF00FFu) * (256 - w) + (b & 0x00FF00FFu) * w) >> 8;
    uint32_t ag = ((a >> 8) & 0x00FF00FFu) * (256 - w) + ((b >> 8) & 0x00FF00FFu) * w;
    return (rb & 0x00FF00FFu) | (ag & 0xFF00FF00u);
}

// Texture positions of a span in 16.16 fixed point, kept wrapped into the
// bitmap when it repeats: that spares a division per coordinate and pixel,
// and wrapping by whole bitmap sizes leaves texel indices (and fractions) as
// they were.
struct TexturePosition {
    int64_t u, v, du, dv, wrapU, wrapV;
    bool wrapped;

    void advance()
    {
        u += du;
        v += dv;
        if (wrapped) {
            u += u >= wrapU ? -wrapU : u < 0 ? wrapU : 0;
            v += v >= wrapV ? -wrapV : v < 0 ? wrapV : 0;
        }
    }
};

// The bilinear weight of a 16.16 position: the top eight fraction bits.
inline uint32_t weightOf(int64_t position)
{
    return uint32_t((position >> 8) & 0xFF);
}

// One bilinear sample; (u, v) are 16.16 positions already offset by half a
// texel. Inside the bitmap the four texels are read directly; at its border
// they wrap (repeating) or clamp (clipped) independently.
template <bool Repeat>
inline uint32_t sampleBilinear(const uint8_t* pixels, int w, int h, int64_t u, int64_t v)
{
    const int64_t iu = u >> 16, iv = v >> 16;
    int x0, y0, x1, y1;
    if (uint64_t(iu) < uint64_t(w - 1) && uint64_t(iv) < uint64_t(h - 1)) {
        x0 = int(iu), y0 = int(iv), x1 = x0 + 1, y1 = y0 + 1;
    } else {
        x0 = wrapCoordinate(iu, w, Repeat);
        y0 = wrapCoordinate(iv, h, Repeat);
        x1 = Repeat ? (x0 + 1 == w ? 0 : x0 + 1) : wrapCoordinate(iu + 1, w, false);
        y1 = Repeat ? (y0 + 1 == h ? 0 : y0 + 1) : wrapCoordinate(iv + 1, h, false);
    }
    const uint8_t* row0 = pixels + size_t(y0) * size_t(w) * 4;
    const uint8_t* row1 = pixels + size_t(y1) * size_t(w) * 4;
    const uint32_t wu = weightOf(u), wv = weightOf(v);
    uint32_t top = lerpPixel(loadPixel(row0 + x0 * 4), loadPixel(row0 + x1 * 4), wu);
    uint32_t bottom = lerpPixel(loadPixel(row1 + x0 * 4), loadPixel(row1 + x1 * 4), wu);
    return lerpPixel(top, bottom, wv);
}

#if ZF_RASTER_SSE2
// sanitizeTexel on four pixels: every channel at most alpha, alpha itself
// unchanged.
inline __m128i sanitize4(__m128i p)
{
    __m128i a = _mm_srli_epi32(p, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    return _mm_min_epu8(p, _mm_or_si128(a, _mm_slli_epi32(a, 16)));
}
#endif

// Sanitizes and transforms `count` texels in place.
template <Paint::Transform Transform>
void finishInPlace(uint32_t* pixels, int count, const Paint& paint)
{
    int i = 0;
#if ZF_RASTER_SSE2
    if constexpr (Transform != Paint::Transform::General) {
        const __m128i k = _mm_set1_epi16(int16_t(paint.cx.aMul * 255 / 256));
        const __m128i zero = _mm_setzero_si128();
        for (; i + 4 <= count; i += 4) {
            __m128i p = simd::load4(pixels + i);
            if (!simd::allOpaque4(p))
                p = sanitize4(p);
            else if constexpr (Transform == Paint::Transform::Identity)
                continue;
            if constexpr (Transform == Paint::Transform::AlphaScale) {
                const __m128i low = simd::mulDiv255(_mm_unpacklo_epi8(p, zero), k);
                const __m128i high = simd::mulDiv255(_mm_unpackhi_epi8(p, zero), k);
                p = _mm_packus_epi16(low, high);
            }
            simd::store4(pixels + i, p);
        }
    }
#endif
    for (; i < count; ++i)
        pixels[i] = finishTexel<Transform>(pixels[i], paint);
}

// The pixels k in [first, last) of a span whose position u + k * du lies in
// 0 .. end - 1: positions move monotonically, so they form one stretch.
struct Stretch {
    int first, last;
};
Stretch insideStretch(int64_t u, int64_t du, int64_t end, int count)
{
    int64_t first = 0, last = 0;
    if (du == 0) {
        last = u >= 0 && u < end ? count : 0;
    } else if (du > 0) {
        first = u < 0 ? (-u + du - 1) / du : 0;
        last = u < end ? (end - u + du - 1) / du : 0;
    } else {
        first = u >= end ? (u - end) / -du + 1 : 0;
        last = u >= 0 ? u / -du + 1 : 0;
    }
    first = std::min<int64_t>(first, count);
    return {int(first), int(std::clamp<int64_t>(last, first, count))};
}

// Texels of one bitmap row at columns u >> 16, u stepping by du from pixel
// to pixel; columns outside the row clamp to its ends. The loop over the
// stretch inside the row needs no checks.
void gatherClamped(const uint8_t* row, int w, int64_t u, int64_t du, int count, uint32_t* out)
{
    const uint32_t firstTexel = loadPixel(row), lastTexel = loadPixel(row + size_t(w - 1) * 4);
    if (du == 0) {
        std::fill_n(out, count,
                    u < 0          ? firstTexel
                    : u >> 16 >= w ? lastTexel
                                   : loadPixel(row + (u >> 16) * 4));
        return;
    }
    const auto [first, last] = insideStretch(u, du, int64_t(w) << 16, count);
    std::fill_n(out, first, du > 0 ? firstTexel : lastTexel);
    std::fill(out + last, out + count, du > 0 ? lastTexel : firstTexel);
    int64_t p = u + first * du;
    if (du == 65536) {
        std::memcpy(out + first, row + (p >> 16) * 4, size_t(last - first) * 4);
        return;
    }
    int64_t k = first;
    for (; k + 4 <= last; k += 4, p += 4 * du) {
        out[k] = loadPixel(row + (p >> 16) * 4);
        out[k + 1] = loadPixel(row + ((p + du) >> 16) * 4);
        out[k + 2] = loadPixel(row + ((p + 2 * du) >> 16) * 4);
        out[k + 3] = loadPixel(row + ((p + 3 * du) >> 16) * 4);
    }
    for (; k < last; ++k, p += du)
        out[k] = loadPixel(row + (p >> 16) * 4);
}

template <bool Repeat, Paint::Transform Transform>
void shadeNearest(const Paint& paint, TexturePosition position, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const int w = bitmap.width, h = bitmap.height;
    const uint8_t* pixels = bitmap.pixels.data();
    if (position.dv == 0) {
        // One row throughout.
        const int ty = wrapCoordinate(position.v >> 16, h, Repeat);
        const uint8_t* row = pixels + size_t(ty) * size_t(w) * 4;
        if (!Repeat) {
            gatherClamped(row, w, position.u, position.du, count, out);
        } else if (position.wrapped) {
            int64_t u = position.u;
            const int64_t du = position.du, wrap = position.wrapU;
            for (int i = 0; i < count; ++i) {
                out[i] = loadPixel(row + (u >> 16) * 4);
                u += du;
                u += u >= wrap ? -wrap : u < 0 ? wrap : 0;
            }
        } else {
            for (int i = 0; i < count; ++i, position.advance())
                out[i] = loadPixel(row + size_t(wrapCoordinate(position.u >> 16, w, true)) * 4);
        }
    } else {
        for (int i = 0; i < count; ++i, position.advance()) {
            const int tx = wrapCoordinate(position.u >> 16, w, Repeat);
            const int ty = wrapCoordinate(position.v >> 16, h, Repeat);
            out[i] = loadPixel(pixels + (size_t(ty) * size_t(w) + size_t(tx)) * 4);
        }
    }
    finishInPlace<Transform>(out, count, paint);
}

#if ZF_RASTER_SSE2

// The bilinear blend of two samples in 16-bit lanes (sample 0 in lanes 0-3).
// `top` holds each sample's two upper texels, [left0 right0 left1 right1],
// `bottom` the lower ones; `wu` and `wv` hold the samples' weights, each
// repeated over its four lanes. The steps are those of lerpPixel: the rows
// first, then between them, each truncated.
inline __m128i bilinear2(__m128i top, __m128i bottom, __m128i wu, __m128i wv)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i whole = _mm_set1_epi16(256);
    const __m128i keepU = _mm_sub_epi16(whole, wu);
    // [left0 left1 right0 right1]: lefts in the low half, rights in the high.
    top = _mm_shuffle_epi32(top, _MM_SHUFFLE(3, 1, 2, 0));
    bottom = _mm_shuffle_epi32(bottom, _MM_SHUFFLE(3, 1, 2, 0));
    // Products stay below 65536: unsigned 16-bit lanes hold them.
    const __m128i upper =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(top, zero), keepU),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(top, zero), wu)),
                       8);
    const __m128i lower =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(bottom, zero), keepU),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(bottom, zero), wu)),
                       8);
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(upper, _mm_sub_epi16(whole, wv)), _mm_mullo_epi16(lower, wv)),
        8);
}

// Four 32-bit weights as 16-bit lanes: samples 0-1 and 2-3.
struct WeightLanes {
    __m128i low, high;
};
inline WeightLanes weightLanes(__m128i weights32)
{
    __m128i w = _mm_packs_epi32(weights32, weights32); // w0 w1 w2 w3 w0 w1 w2 w3
    w = _mm_unpacklo_epi16(w, w);                      // w0 w0 w1 w1 w2 w2 w3 w3
    return {_mm_unpacklo_epi32(w, w), _mm_unpackhi_epi32(w, w)};
}

// The weights of four positions from the low 32 bits of each: wrapping by
// whole bitmap sizes (multiples of 65536) leaves the fraction bits alone.
inline __m128i weights4(__m128i low32)
{
    return _mm_and_si128(_mm_srli_epi32(low32, 8), _mm_set1_epi32(0xFF));
}

inline __m128i positions4(int64_t start, int64_t step)
{
    const uint32_t s = uint32_t(start), d = uint32_t(step);
    return _mm_setr_epi32(int(s), int(s + d), int(s + 2 * d), int(s + 3 * d));
}

// Sanitizes and transforms two samples in 16-bit lanes.
template <Paint::Transform Transform>
inline __m128i finish2(__m128i samples, __m128i alphaScale)
{
    samples = _mm_min_epi16(samples, simd::alphaLanes(samples));
    if constexpr (Transform == Paint::Transform::AlphaScale)
        samples = simd::mulDiv255(samples, alphaScale);
    return samples;
}

#endif

#if ZF_RASTER_SSE2
// Four bilinear samples from the top-left texels of their 2x2 blocks (the
// lower texels one row, `stride` bytes, further), finished into `out`.
template <Paint::Transform Transform>
inline void blendBlocks4(const uint8_t* const (&texels)[4], uint64_t stride, WeightLanes wu,
                         WeightLanes wv, __m128i alphaScale, const Paint& paint, uint32_t* out)
{
    auto pair = [&](const uint8_t* a, const uint8_t* b, __m128i wuk, __m128i wvk) {
        const __m128i top = _mm_unpacklo_epi64(simd::load2(a), simd::load2(b));
        const __m128i bottom = _mm_unpacklo_epi64(simd::load2(a + stride), simd::load2(b + stride));
        return finish2<Transform>(bilinear2(top, bottom, wuk, wvk), alphaScale);
    };
    const __m128i low = pair(texels[0], texels[1], wu.low, wv.low);
    const __m128i high = pair(texels[2], texels[3], wu.high, wv.high);
    simd::store4(out, _mm_packus_epi16(low, high));
    if constexpr (Transform == Paint::Transform::General) {
        for (int k = 0; k < 4; ++k)
            out[k] = transformPixel(out[k], paint);
    }
}
#endif

// Bilinear sampling, any matrix: each block of four samples whose texels
// all lie inside the bitmap is blended at once, others take the plain path.
template <bool Repeat, Paint::Transform Transform>
void shadeSmooth(const Paint& paint, TexturePosition position, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const int w = bitmap.width, h = bitmap.height;
    const uint8_t* pixels = bitmap.pixels.data();
    int i = 0;
#if ZF_RASTER_SSE2
    const uint64_t stride = uint64_t(w) * 4;
    const __m128i alphaScale = _mm_set1_epi16(int16_t(paint.cx.aMul * 255 / 256));
    const __m128i stepU = _mm_set1_epi32(int(uint32_t(position.du) * 4));
    const __m128i stepV = _mm_set1_epi32(int(uint32_t(position.dv) * 4));
    __m128i u32 = positions4(position.u, position.du);
    __m128i v32 = positions4(position.v, position.dv);
    for (; i + 4 <= count; i += 4) {
        int64_t us[4], vs[4];
        uint64_t offsets[4];
        bool inside = true;
        for (int k = 0; k < 4; ++k) {
            us[k] = position.u;
            vs[k] = position.v;
            const int64_t iu = position.u >> 16, iv = position.v >> 16;
            inside &= uint64_t(iu) < uint64_t(w - 1) && uint64_t(iv) < uint64_t(h - 1);
            offsets[k] = uint64_t(iv) * stride + uint64_t(iu) * 4;
            position.advance();
        }
        if (inside) {
            const uint8_t* texels[4] = {pixels + offsets[0], pixels + offsets[1],
                                        pixels + offsets[2], pixels + offsets[3]};
            blendBlocks4<Transform>(texels, stride, weightLanes(weights4(u32)),
                                    weightLanes(weights4(v32)), alphaScale, paint, out + i);
        } else {
            for (int k = 0; k < 4; ++k)
                out[i + k] = finishTexel<Transform>(
                    sampleBilinear<Repeat>(pixels, w, h, us[k], vs[k]), paint);
        }
        u32 = _mm_add_epi32(u32, stepU);
        v32 = _mm_add_epi32(v32, stepV);
    }
#endif
    for (; i < count; ++i, position.advance())
        out[i] = finishTexel<Transform>(
            sampleBilinear<Repeat>(pixels, w, h, position.u, position.v), paint);
}

// Bilinear sampling of a clipped bitmap along one pair of rows (no rotation
// or shear): the samples whose 2x2 block lies inside the bitmap form one
// stretch, blended four at a time without per-sample checks; the clamped
// samples around it take the plain path.
template <Paint::Transform Transform>
void shadeSmoothRow(const Paint& paint, const TexturePosition& position, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const int w = bitmap.width, h = bitmap.height;
    const uint8_t* pixels = bitmap.pixels.data();
    const int64_t u = position.u, du = position.du, v = position.v;
    auto plain = [&](int from, int to) {
        for (int k = from; k < to; ++k)
            out[k] =
                finishTexel<Transform>(sampleBilinear<false>(pixels, w, h, u + k * du, v), paint);
    };
    const int64_t row = v >> 16;
    Stretch inside{0, 0};
    if (uint64_t(row) < uint64_t(h - 1))
        inside = insideStretch(u, du, int64_t(w - 1) << 16, count);
    plain(0, inside.first);
    int k = inside.first;
#if ZF_RASTER_SSE2
    if (inside.last - k >= 4) {
        const uint64_t stride = uint64_t(w) * 4;
        const uint8_t* top = pixels + uint64_t(row) * stride;
        const __m128i alphaScale = _mm_set1_epi16(int16_t(paint.cx.aMul * 255 / 256));
        const __m128i stepU = _mm_set1_epi32(int(uint32_t(du) * 4));
        const __m128i rowWeight = _mm_set1_epi16(int16_t(weightOf(v)));
        int64_t p = u + k * du;
        __m128i u32 = positions4(p, du);
        for (; k + 4 <= inside.last; k += 4, p += 4 * du) {
            const uint8_t* texels[4] = {top + (p >> 16) * 4, top + ((p + du) >> 16) * 4,
                                        top + ((p + 2 * du) >> 16) * 4,
                                        top + ((p + 3 * du) >> 16) * 4};
            blendBlocks4<Transform>(texels, stride, weightLanes(weights4(u32)),
                                    {rowWeight, rowWeight}, alphaScale, paint, out + k);
            u32 = _mm_add_epi32(u32, stepU);
        }
    }
#endif
    plain(k, count);
}

// Every sample of the span has zero weights: whole-texel steps and a
// position on a texel's top-left corner, in both directions.
bool weightsAllZero(const TexturePosition& p)
{
    return (p.du & 0xFFFF) == 0 && (p.dv & 0xFFFF) == 0 && weightOf(p.u) == 0 && weightOf(p.v) == 0;
}

template <bool Repeat, Paint::Transform Transform>
void shadeWith(const Paint& paint, const TexturePosition& position, int count, uint32_t* out)
{
    if (!paint.smooth || weightsAllZero(position))
        shadeNearest<Repeat, Transform>(paint, position, count, out);
    else if (!Repeat && position.dv == 0)
        shadeSmoothRow<Transform>(paint, position, count, out);
    else
        shadeSmooth<Repeat, Transform>(paint, position, count, out);
}

template <bool Repeat>
void shadeWithTransform(const Paint& paint, const TexturePosition& position, int count,
                        uint32_t* out)
{
    switch (paint.transform) {
    case Paint::Transform::Identity:
        shadeWith<Repeat, Paint::Transform::Identity>(paint, position, count, out);
        break;
    case Paint::Transform::AlphaScale:
        shadeWith<Repeat, Paint::Transform::AlphaScale>(paint, position, count, out);
        break;
    case Paint::Transform::General:
        shadeWith<Repeat, Paint::Transform::General>(paint, position, count, out);
        break;
    }
}

} // namespace

void shadeBitmap(const Paint& paint, int x, int y, int skip, int count, uint32_t* out)
{
    const Bitmap& bitmap = *paint.bitmap;
    const Matrix& m = paint.inverse;
    const double cx = x + 0.5, cy = y + 0.5;
    // Bilinear samples are centred on texel centres.
    const double offset = paint.smooth ? 0.5 : 0;
    TexturePosition position;
    position.u = toTextureFixed(m.a * cx + m.c * cy + m.tx - offset);
    position.v = toTextureFixed(m.b * cx + m.d * cy + m.ty - offset);
    position.du = toTextureFixed(m.a);
    position.dv = toTextureFixed(m.b);
    position.u += position.du * skip;
    position.v += position.dv * skip;
    position.wrapU = int64_t(bitmap.width) << 16;
    position.wrapV = int64_t(bitmap.height) << 16;
    position.wrapped = paint.repeat && std::abs(position.du) < position.wrapU &&
                       std::abs(position.dv) < position.wrapV;
    if (position.wrapped) {
        position.u %= position.wrapU;
        position.u += position.u < 0 ? position.wrapU : 0;
        position.v %= position.wrapV;
        position.v += position.v < 0 ? position.wrapV : 0;
    }
    if (paint.repeat)
        shadeWithTransform<true>(paint, position, count, out);
    else
        shadeWithTransform<false>(paint, position, count, out);
}

} // namespace zf::raster
